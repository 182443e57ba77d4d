#pragma once
// Logging in with an OAuth 2.0 access token: SASL XOAUTH2, or OAUTHBEARER
// (RFC 7628) where a server offers only that, for SMTP AUTH and POP3 AUTH.
// A refused token is renewed once and tried again. The failure texts keep
// the transport's contract ("AUTH LOGIN failed (XOAUTH2: ...)", "POP3 login
// failed (...)") and never hold the token.

#include <QString>

class CurlConnection;
struct TransportSettings;

// "" when the server took the token; settings.accessToken becomes the
// renewed token when one was needed.
QString smtpOAuthLogin(CurlConnection &conn, TransportSettings &settings);
QString pop3OAuthLogin(CurlConnection &conn, TransportSettings &settings);

// True for a failure text of these logins: the window and the command then
// ask for a new sign-in rather than a password.
bool isOAuthLoginFailure(const QString &transportText);
