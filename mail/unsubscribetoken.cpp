#include "unsubscribetoken.h"

#include "settingsstore.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

constexpr qsizetype kMacBytes = 12;
constexpr auto kBase64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
// The token's mark in a text: tokens are found by it.
constexpr QByteArrayView kMark = "qpu-";

QByteArray mac(const QByteArray &address, const QByteArray &secret)
{
    return QMessageAuthenticationCode::hash(address, secret, QCryptographicHash::Sha256).left(kMacBytes);
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
           || c == '.';
}

} // namespace

QByteArray unsubscribeSecret(SettingsStore &settings)
{
    QString secret = settings.value(Setting::UnsubscribeSecret);
    if (secret.size() < 32) {
        QByteArray bytes(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        secret = QString::fromLatin1(bytes.toHex());
        settings.setValue(Setting::UnsubscribeSecret, secret);
    }
    return secret.toLatin1();
}

QByteArray unsubscribeToken(const QString &address, const QByteArray &secret)
{
    const QByteArray a = address.trimmed().toLower().toUtf8();
    return kMark.toByteArray() + a.toBase64(kBase64) + '.' + mac(a, secret).toBase64(kBase64);
}

QString addressFromToken(QByteArrayView token, const QByteArray &secret)
{
    if (!token.startsWith(kMark))
        return {};
    token = token.sliced(kMark.size());
    const qsizetype dot = token.indexOf('.');
    if (dot <= 0)
        return {};
    const auto address = QByteArray::fromBase64Encoding(token.first(dot).toByteArray(),
                                                        kBase64 | QByteArray::AbortOnBase64DecodingErrors);
    const auto given = QByteArray::fromBase64Encoding(token.sliced(dot + 1).toByteArray(),
                                                      kBase64 | QByteArray::AbortOnBase64DecodingErrors);
    if (!address || !given || address.decoded.isEmpty() || given.decoded.size() != kMacBytes)
        return {};
    // Compared in full every time, so the time taken says nothing.
    const QByteArray expected = mac(address.decoded, secret);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < kMacBytes; ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ given.decoded[i]);
    return diff == 0 ? QString::fromUtf8(address.decoded) : QString();
}

QString findTokenAddress(QByteArrayView text, const QByteArray &secret)
{
    for (qsizetype at = text.indexOf(kMark); at >= 0; at = text.indexOf(kMark, at + 1)) {
        qsizetype end = at;
        while (end < text.size() && isTokenChar(text[end]))
            ++end;
        const QString address = addressFromToken(text.sliced(at, end - at), secret);
        if (!address.isEmpty())
            return address;
    }
    return {};
}
