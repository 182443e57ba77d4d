#pragma once
// The send preview: what one entry of the send list will receive, built by
// the same messages the send uses and read back from their bytes; a test
// message of the shown entry to the sender's own address.

#include "account.h"
#include "outgoing.h"
#include "sendrun.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
struct AppContext;
class UntrustedCertificateSink;

class frmPreview : public QDialog {
    Q_OBJECT
public:
    // The messages of `content` as `account` sends them.
    frmPreview(AppContext &ctx, const AccountRecord &account, const OutgoingContent &content,
               const TransportOptions &transport, QWidget *owner = nullptr);

    QLineEdit *txtFrom = nullptr;
    QLineEdit *txtTo = nullptr;
    QLineEdit *txtSubject = nullptr;
    QLineEdit *txtDate = nullptr;
    QLineEdit *txtUnsubscribe = nullptr;
    QLabel *lblProblem = nullptr; // why the shown entry can't be sent
    QPlainTextEdit *txtBody = nullptr;
    QListWidget *lstAttachments = nullptr;
    QLabel *lblCharset = nullptr; // the charset the messages go in
    QLabel *lblSize = nullptr;
    QPushButton *cmdPrev = nullptr;
    QSpinBox *spnEntry = nullptr; // 1 to the number of entries
    QLabel *lblCount = nullptr;   // "i / N"
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdTest = nullptr;
    QPushButton *cmdClose = nullptr;

    // The shown entry's message, byte for byte as the send would hand it over.
    QByteArray message() const { return m_message; }

public slots:
    void showEntry(int number);
    void cmdPrev_Click();
    void cmdNext_Click();
    void cmdTest_Click();
    void done(int result) override;

private:
    void Form_Load();

    AppContext &m_ctx;
    AccountRecord m_account;
    OutgoingContent m_content;
    TransportOptions m_transport;
    OutgoingMessages m_messages;
    QByteArray m_message;
};

// The test message's outcome as the user is told it. A certificate the test
// did not trust is put to the user in place of the failure; true when the account in use changed (the user trusted it,
// or took its name as the server).
bool showTestMessageResult(AppContext &ctx, QWidget *owner, const QString &address, const QString &reply,
                           UntrustedCertificateSink &untrusted);
// A failure a new sign-in mends, with the provider's or server's words:
// asks whether to open the account dialog to sign in again.
void askToSignInAgain(AppContext &ctx, QWidget *owner, const QString &text);
