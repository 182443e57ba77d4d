#pragma once
// The per-recipient unsubscribe token: the address itself, readable back
// without any table, and a keyed hash of it that only the holder of the
// program's secret can make. A request or a bounce that quotes a token is
// trusted for that address only.

#include <QByteArray>
#include <QString>

class SettingsStore;

// The program-wide secret (UnsubscribeSecret), made once from the system's
// random source and stored; the same text on every later call.
QByteArray unsubscribeSecret(SettingsStore &settings);

// "<base64url of the address>.<base64url of the first 12 bytes of
// HMAC-SHA256(secret, address)>": letters, digits, "-", "_" and "." only,
// so it travels in a subject, a URL and a Message-ID as it is.
QByteArray unsubscribeToken(const QString &address, const QByteArray &secret);
// The address a token was made for, or "" when the token is malformed or
// was not made with this secret.
QString addressFromToken(QByteArrayView token, const QByteArray &secret);
// The first well-made token in a text (a subject, quoted headers): the
// address, or "".
QString findTokenAddress(QByteArrayView text, const QByteArray &secret);
