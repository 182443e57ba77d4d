#pragma once
// The account dialog: edits the five sending accounts and chooses the one in
// use. It works on ActiveAccount and saves through the account functions.

#include "accountcheck.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class CharsetField;
class SendWindowField;
class SignInPanel;
class UnsubscribePanel;
struct AppContext;

// The chooser's entries; the index is the profile number.
const QStringList &accountProfileNames();
// The advice the dialog's icon shows: title, then seven tips.
QString accountTipTitle();
const QStringList &accountTips();

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(AppContext &ctx, QWidget *owner = nullptr);

    QLabel *Picture1 = nullptr;      // banner
    QToolButton *Picture2 = nullptr; // advice icon
    QLabel *Label6 = nullptr;
    QComboBox *Combo1 = nullptr; // profile chooser
    QGroupBox *Frame1 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Text1 = nullptr; // server
    QLabel *Label9 = nullptr;
    QLineEdit *Text8 = nullptr; // port
    QLabel *Label11 = nullptr;
    QComboBox *Combo2 = nullptr; // SMTP connection security, by ConnectionSecurity
    QCheckBox *Check1 = nullptr; // SMTP AUTH
    QCheckBox *Check2 = nullptr; // POP before SMTP
    QLabel *Label12 = nullptr;
    QLineEdit *Text10 = nullptr; // POP3 port
    QLabel *Label13 = nullptr;
    QComboBox *Combo3 = nullptr; // POP3 connection security
    QLabel *Label7 = nullptr;
    QLineEdit *Text6 = nullptr; // account name
    QLabel *Label8 = nullptr;
    QLabel *Label14 = nullptr;
    QLineEdit *Text11 = nullptr; // PEM file of extra trusted certificates
    QPushButton *cmdCaFile = nullptr;
    QLabel *lblPinned = nullptr; // how many certificates the account trusts itself
    QPushButton *cmdForgetPins = nullptr;
    QLineEdit *Text7 = nullptr;    // password
    QCheckBox *Check3 = nullptr;   // password over an unencrypted connection
    SignInPanel *SignIn = nullptr; // password or OAuth 2.0, and the sign-in
    CharsetField *Charset = nullptr;
    QLabel *Label10 = nullptr;
    QSpinBox *Text9 = nullptr; // messages a minute at most, 0: no limit
    SendWindowField *SendWindow = nullptr;
    UnsubscribePanel *Unsubscribe = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text5 = nullptr; // sender name
    QLabel *Label4 = nullptr;
    QLineEdit *Text2 = nullptr; // sender address
    QLabel *Label2 = nullptr;
    QPlainTextEdit *Text4 = nullptr; // body header
    QLabel *Label1 = nullptr;
    QPlainTextEdit *Text3 = nullptr; // signature
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *Command1 = nullptr; // help
    QPushButton *cmdTest = nullptr;  // connection test

public slots:
    void Form_Load();
    void Combo1_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdApply_Click();
    void Command1_Click();
    void Picture2_Click();
    void cmdTest_Click();
    void cmdCaFile_Click();
    void cmdForgetPins_Click();

private:
    void showAccount();
    void showPinned();
    // What the fields hold, as typed, with what the dialog holds besides.
    AccountEntry entry() const;
    // Runs the checks on the fields and shows what they changed; false when
    // one failed (its message has been shown). OK and Apply word the port
    // message apart.
    bool checkFields(AccountEntry &e, AccountSaveButton button);
    bool validateAndSave(bool fromOk);
    // Where the server named by the fields is ("host:port").
    QString serverKey() const;

    AppContext &m_ctx;
    // Not fields: the keys the account trusts, and the server's SIZE limit
    // with the server it was learned from (another server's is unknown).
    QString m_pinnedKeys;
    qint64 m_sizeLimit = 0;
    AccountRecord m_shown; // the profile as shown, for the settings without a field here
    QString m_sizeLimitOf;
};
