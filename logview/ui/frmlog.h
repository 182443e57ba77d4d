#pragma once
// The sent-mail log viewer: the header values of a log above and below a
// grid of its records. It opens on the application's own log and can show
// other log files; a save always copies the application's own log.

#include <QDialog>
#include <QString>

struct AppContext;
class Platform;
class SettingsStore;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTableWidget;
struct LogContents;

class frmLog : public QDialog {
    Q_OBJECT
public:
    explicit frmLog(AppContext &ctx, QWidget *owner = nullptr);
    ~frmLog() override;

    // The application's log; the source of every save, never changed by
    // opening another file.
    QString LogFilePath;
    // True while the application's log is shown and not yet saved.
    bool UnsavedLog = false;

    QMenuBar *menuBar = nullptr;
    QMenu *mnuFile = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *fileSaveAs = nullptr;
    QAction *mnuClose = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpOpen = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QTableWidget *MSFlexGrid1 = nullptr;
    QStatusBar *sbStatusBar = nullptr;
    QLabel *sbPanel1 = nullptr;

    // True when the user chose to keep the window open.
    bool Form_QueryUnload();

public slots:
    void Form_Resize();
    void Form_Unload();
    void mnuFileOpen_Click();
    void fileSaveAs_Click();
    void mnuClose_Click();
    void mnuHelpOpen_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void reject() override;
    void done(int r) override;

private:
    void Form_Load();
    void buildControls();
    void buildMenus();
    void setUpGrid();
    // Shows what was read; false when the reading stopped at an error.
    bool showLog(const LogContents &log);
    bool copyLogTo(const QString &target);
    Platform &platform();
    SettingsStore &settings();

    AppContext &m_ctx;
    bool m_unloaded = false;
};
