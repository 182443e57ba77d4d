#include "pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace pkce {

namespace {

QByteArray randomUrlText(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace

QByteArray makeVerifier()
{
    return randomUrlText(32);
}

QByteArray challengeOf(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray makeState()
{
    return randomUrlText(16);
}

} // namespace pkce
