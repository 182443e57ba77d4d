#pragma once
// The five sending accounts in the settings store and the account in use.

#include <QString>
#include <QStringList>

class SettingsStore;

// How a connection to a server is protected.
enum class ConnectionSecurity : qint16 {
    Auto = 0,     // STARTTLS when the server offers it; TLS from the start on 465 (SMTP) or 995 (POP3)
    StartTls = 1, // STARTTLS (STLS) required: a server that does not offer it gets nothing
    Tls = 2,      // TLS from the first byte, on any port
};

// The charset the account's mail is written in.
enum class MailCharset : qint16 { Utf8, Iso2022Jp };

constexpr int kDefaultSendWindow = 20;
constexpr int kMaxSendWindow = 100;
constexpr int kMaxSmtpConnections = 5;

struct AccountRecord {
    QString szServer;
    QString szFrom;
    QString Signature;
    QString BodyHeader;
    QString szFromName;
    QString User;
    QString UserPass;
    QString szPort;
    qint16 Check1V = 0;   // SMTP AUTH
    qint16 Check2V = 0;   // POP before SMTP
    qint16 Account = 0;   // profile 0..4
    qint16 Check3V = 0;   // the password may travel over an unencrypted connection
    int MaxPerMinute = 0; // messages a minute at most; 0: no limit
    ConnectionSecurity SmtpSecurity = ConnectionSecurity::Auto;
    QString Pop3Port = QStringLiteral("110");
    ConnectionSecurity Pop3Security = ConnectionSecurity::Auto;
    QString CaFile{};         // PEM certificates trusted beside the system's
    QString PinnedKeys{};     // public keys the user trusts: "sha256//...", ";" between
    qint64 SmtpSizeLimit = 0; // the server's SIZE as last seen; 0: unknown or none
    // Signs in with OAuth 2.0 instead of the password ("AuthMethod").
    bool OAuth2 = false;
    QString OAuthProvider{}; // "microsoft", "google", "other"
    QString OAuthClientId{};
    QString OAuthClientSecret{};
    QString OAuthTenant{};
    QString OAuthAuthUrl{}; // "other": the endpoints and the scope
    QString OAuthTokenUrl{};
    QString OAuthDeviceUrl{};
    QString OAuthScope{};
    QString OAuthSignedIn{}; // the address of the last sign-in; "" before one
    MailCharset Charset = MailCharset::Utf8;
    int SendWindow = kDefaultSendWindow; // messages in flight where the server offers CHUNKING
    int SmtpConnections = 1;             // connections a run opens at once
    bool Unsubscribe = false;            // List-Unsubscribe and the footer on every message
    QString UnsubscribeAddress{};        // "": the sender address
    QString UnsubscribeUrl{};            // https only; "": none
    QString UnsubscribeFooter{};         // CR LF line ends, as the signature
    bool NotAdvertising = false;         // no check for the unsubscribe text before a run
};

// The stored number of a security setting (anything unknown is Auto).
ConnectionSecurity connectionSecurity(qint16 stored);
// The POP3 port an account uses when it names none.
int defaultPop3Port(ConnectionSecurity security);

// The stored values of "AuthMethod".
extern const char kAuthPassword[];
extern const char kAuthOAuth2[];

// The account in use; one per process.
extern AccountRecord ActiveAccount;

// The server of an account that was never saved: its prefix "****" marks it
// as not set up.
QString placeholderServer();

// Profile n (0..4) as stored, over the fields of `into`: a stored flag that
// is not a number leaves the field as it was. The run and the commands take
// the account they use as such a value.
void readAccountProfile(const SettingsStore &store, qint16 n, AccountRecord &into);
// The same into ActiveAccount, the window's current choice.
void LoadAccountProfile(SettingsStore &store, qint16 n);
void LoadActiveAccount(SettingsStore &store);
void SaveActiveAccount(SettingsStore &store);
// What a connection learned about the account's servers, into its profile
// alone: the server name, the trusted keys and the SIZE limit.
void saveServerFacts(SettingsStore &store, const AccountRecord &account);

// True when the server still begins with the placeholder's "****".
bool accountNotConfigured(const AccountRecord &account);

// The profile's label in the main window's status bar; empty for a number
// outside 0..4.
QString accountStatusLabel(qint16 account);
// Status bar panel 1: label, "Server/", server, "  From Name/", sender name.
QString accountStatusLine(const AccountRecord &account);
