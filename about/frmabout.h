#pragma once
// The about box: title, version, purpose, and the system-information tool.

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
struct AppContext;

// Roots of the system configuration store (the Windows registry).
enum class RegistryRoot { LocalMachine, CurrentUser };

// Reads one value of the system configuration store into keyValue. False,
// with keyValue emptied, when the key or the value can't be read. Text values
// come back as they are, 32-bit numbers as "&h" and hexadecimal digits. A
// platform without such a store reads nothing.
bool GetKeyValue(RegistryRoot root, const QString &keyName, const QString &subKeyRef, QString &keyValue);

using KeyValueReader = std::function<bool(RegistryRoot, const QString &, const QString &, QString &)>;

// The full path of the system-information tool, found through the store; empty
// when this machine has none.
QString findSysInfoTool(const KeyValueReader &read);

// "ﾊﾞｰｼﾞｮﾝ " and major.minor.revision.
QString versionLine(int major, int minor, int revision);

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(AppContext &ctx, QWidget *owner = nullptr);

    QLabel *picIcon = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;

    // How the store is read; the real store unless replaced.
    KeyValueReader keyReader = GetKeyValue;

public slots:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();

private:
    AppContext &m_ctx;
};
