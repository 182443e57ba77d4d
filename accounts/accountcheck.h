#pragma once
// The rules an account must meet before it is saved, apart from the dialog:
// the dialog hands over what is typed, shows the message of the field at
// fault and saves the account these functions build.

#include "account.h"

#include <QString>

// The account as the dialog's fields hold it; the signature and body header
// with LF line ends, as a text widget gives them.
struct AccountEntry {
    QString server;
    QString port;
    bool smtpAuth = false;
    bool popBeforeSmtp = false;
    QString user;
    QString password;
    bool plainPassword = false;
    int maxPerMinute = 0;
    QString fromName;
    QString from;
    QString bodyHeader;
    QString signature;
    ConnectionSecurity smtpSecurity = ConnectionSecurity::Auto;
    QString pop3Port = QStringLiteral("110");
    ConnectionSecurity pop3Security = ConnectionSecurity::Auto;
    QString caFile{};
    // Not typed: what the dialog holds of the account besides its fields.
    QString pinnedKeys{};
    qint64 smtpSizeLimit = 0;
    // OAuth 2.0 in place of the password.
    bool oauth = false;
    QString oauthProvider{}; // "microsoft", "google", "other"
    QString oauthClientId{};
    QString oauthClientSecret{};
    QString oauthTenant{};
    QString oauthAuthUrl{};
    QString oauthTokenUrl{};
    QString oauthDeviceUrl{};
    QString oauthScope{};
    MailCharset charset = MailCharset::Utf8;
    int sendWindow = kDefaultSendWindow;
    int smtpConnections = 1;
    bool unsubscribe = false;
    QString unsubscribeAddress{};
    QString unsubscribeUrl{};
    QString unsubscribeFooter{}; // LF line ends
    bool notAdvertising = false;
};

enum class AccountField {
    None,
    Server,
    FromName,
    From,
    User,
    Password,
    Port,
    Pop3Port,
    CaFile,
    OAuthClient,
    OAuthEndpoints
};

// OK and Apply word the missing-port message apart.
enum class AccountSaveButton { Ok, Apply };

struct AccountFault {
    AccountField field = AccountField::None;
    QString message;
    bool ok() const { return field == AccountField::None; }
};

// Clears the placeholders of a never-saved account, narrows and lowers the
// sender address once the fields before it pass, and checks the fields in
// the dialog's order, stopping at the first fault. The entry keeps these
// changes even when a check fails, so the dialog shows them either way. A
// port that passes is rewritten as its plain number (" 587 " and full-width
// digits give "587"); so is the POP3 port, and an empty one becomes the
// usual port of its security (110, or 995 for TLS from the start). A
// certificate file, when named, must hold certificates.
AccountFault checkAccountEntry(AccountEntry &entry, AccountSaveButton button);

// Writes a checked entry into the account: server, sender, sender name and
// account name without the blanks at either end, the two texts with CR LF.
// The profile number is left as it is.
void storeAccountEntry(const AccountEntry &entry, AccountRecord &account);
