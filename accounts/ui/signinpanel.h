#pragma once
// The account dialog's part for how the account signs in: a password, or
// OAuth 2.0 with a provider's preset (Microsoft 365, Google) or endpoints of
// its own (その他), and the サインイン button that runs the browser sign-in
// off the window's thread.

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;
class LoopbackSignIn;
struct AccountEntry;
struct AccountRecord;
struct AppContext;
struct SignInResult;

class SignInPanel : public QWidget {
    Q_OBJECT
public:
    explicit SignInPanel(AppContext &ctx, QWidget *parent = nullptr);
    ~SignInPanel() override;

    // The fields from the account, and back into the dialog's entry.
    void showAccount(const AccountRecord &account);
    void fillEntry(AccountEntry &entry) const;
    bool oauthChosen() const;
    bool signingIn() const { return m_thread != nullptr; }

    QComboBox *cboAuthMethod = nullptr; // パスワード / OAuth 2.0
    QComboBox *cboProvider = nullptr;   // Microsoft 365 / Google / その他
    QLineEdit *txtClientId = nullptr;
    QLineEdit *txtClientSecret = nullptr;
    QLineEdit *txtTenant = nullptr;  // Microsoft only
    QLineEdit *txtAuthUrl = nullptr; // その他 only, with the three below
    QLineEdit *txtTokenUrl = nullptr;
    QLineEdit *txtDeviceUrl = nullptr;
    QLineEdit *txtScope = nullptr;
    QPushButton *cmdSignIn = nullptr;
    QLabel *lblSignedIn = nullptr; // the address and "サインイン済み"
    QLabel *lblKeyring = nullptr;  // shown where no keyring answers

public slots:
    void cmdSignIn_Click();
    void cboAuthMethod_Click();
    void cboProvider_Click();

signals:
    // Password or OAuth 2.0: the password's fields matter only for the first.
    void methodChosen(bool oauth);
    // A provider was chosen: its SMTP server and port.
    void presetChosen(const QString &host, int port);
    // The sign-in ended; on success with the address it was for.
    void signInFinished(bool ok, const QString &address);

private:
    void showProviderFields();
    void showSignedIn(bool signedIn, const QString &address);
    void signInDone(const SignInResult &result);

    AppContext &m_ctx;
    QWidget *m_oauthRows = nullptr;
    QList<QWidget *> m_microsoftRows;
    QList<QWidget *> m_otherRows;
    QThread *m_thread = nullptr;
    std::shared_ptr<LoopbackSignIn> m_signIn;
    int m_profile = 0;
    bool m_signedIn = false;
    QString m_address;
};
