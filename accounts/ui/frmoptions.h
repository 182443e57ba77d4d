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
class SignInPanel;
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
    QLineEdit *Text8 = nullptr;  // port
    QCheckBox *Check1 = nullptr; // SMTP AUTH
    QCheckBox *Check2 = nullptr; // POP before SMTP
    QLabel *Label7 = nullptr;
    QLineEdit *Text6 = nullptr; // account name
    QLabel *Label8 = nullptr;
    QLineEdit *Text7 = nullptr;    // password
    QCheckBox *Check3 = nullptr;   // password over an unencrypted connection
    SignInPanel *SignIn = nullptr; // password or OAuth 2.0, and the sign-in
    QLabel *Label10 = nullptr;
    QSpinBox *Text9 = nullptr; // messages a minute at most, 0: no limit
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

public slots:
    void Form_Load();
    void Combo1_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdApply_Click();
    void Command1_Click();
    void Picture2_Click();

private:
    void showAccount();
    // What the fields hold, as typed.
    AccountEntry entry() const;
    // Checks the fields and saves them; false when a check failed (its
    // message has been shown). OK and Apply word the port message apart.
    bool validateAndSave(bool fromOk);

    AppContext &m_ctx;
};
