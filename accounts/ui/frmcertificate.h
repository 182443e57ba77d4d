#pragma once
// The question a certificate that was not trusted puts to the user: why it
// was not, what it says, and what the account may do about it: trust its
// key for this account alone, or, when it was made for another name, use
// that name as the server.

#include "certificate.h"

#include <QDialog>

class QLabel;
class QPushButton;
struct AccountRecord;
struct AppContext;

class frmCertificate : public QDialog {
    Q_OBJECT
public:
    enum class Choice { None, Trust, UseName };

    frmCertificate(const UntrustedCertificate &certificate, QWidget *owner = nullptr);

    Choice choice() const { return m_choice; }

    QLabel *lblServer = nullptr;
    QLabel *lblReasons = nullptr;
    QPushButton *cmdTrust = nullptr;
    QPushButton *cmdUseName = nullptr; // only for a name the server could have
    QPushButton *cmdCancel = nullptr;

public slots:
    void cmdTrust_Click();
    void cmdUseName_Click();
    void cmdCancel_Click();

private:
    Choice m_choice = Choice::None;
};

// Asks, and applies the answer to account (its trusted keys or its server);
// true when the account changed.
bool askAboutCertificate(AppContext &ctx, QWidget *owner, const UntrustedCertificate &certificate,
                         AccountRecord &account);
// The same for the account in use, whose profile keeps the answer at once.
bool askAboutCertificateOfAccountInUse(AppContext &ctx, QWidget *owner, const UntrustedCertificate &certificate);
