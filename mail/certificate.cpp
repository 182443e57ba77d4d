#include "certificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QTimeZone>
#include <curl/curl.h>
#include <memory>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <utility>
#include <vector>

namespace {

struct X509Free {
    void operator()(X509 *x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr fromDer(const QByteArray &der)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

QString nameText(const X509_NAME *name)
{
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    // RFC 2253 order (the common name first), UTF-8 left as it is.
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, static_cast<qsizetype>(n));
    BIO_free(bio);
    return text;
}

QDateTime timeOf(const ASN1_TIME *t)
{
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1)
        return {};
    return QDateTime(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), QTime(tm.tm_hour, tm.tm_min, tm.tm_sec),
                     QTimeZone::utc());
}

QString asn1Text(const ASN1_STRING *s)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s));
}

QStringList namesOf(X509 *x)
{
    QStringList names;
    auto *sans = static_cast<GENERAL_NAMES *>(X509_get_ext_d2i(x, NID_subject_alt_name, nullptr, nullptr));
    if (sans) {
        for (int i = 0; i < sk_GENERAL_NAME_num(sans); ++i) {
            const GENERAL_NAME *g = sk_GENERAL_NAME_value(sans, i);
            if (g->type == GEN_DNS) {
                names << asn1Text(g->d.dNSName);
            } else if (g->type == GEN_IPADD) {
                const int n = ASN1_STRING_length(g->d.iPAddress);
                const unsigned char *b = ASN1_STRING_get0_data(g->d.iPAddress);
                QHostAddress a;
                if (n == 4)
                    a.setAddress(quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]));
                else if (n == 16)
                    a.setAddress(b);
                if (!a.isNull())
                    names << a.toString();
            }
        }
        GENERAL_NAMES_free(sans);
    }
    // Without alternative names, the common name is the one a client checks.
    if (names.isEmpty()) {
        const X509_NAME *subject = X509_get_subject_name(x);
        const int i = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
        if (i >= 0)
            names << asn1Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, i)));
    }
    return names;
}

QString hexWithColons(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(':').toUpper());
}

// The CA bundle libcurl was built to use; OpenSSL's own default paths where
// it names none.
void loadSystemAuthorities(X509_STORE *store)
{
    const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
    if (info && info->cainfo && X509_STORE_load_file(store, info->cainfo) == 1)
        return;
    X509_STORE_set_default_paths(store);
}

// The verify callback has no argument of its own; each verification runs
// on one thread from start to end.
thread_local int t_reasons = 0;
thread_local int t_otherError = 0;

int collectReason(int ok, X509_STORE_CTX *ctx)
{
    if (ok)
        return 1;
    const int error = X509_STORE_CTX_get_error(ctx);
    switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_INVALID_CA: t_reasons |= UntrustedCertificate::UnknownIssuer; break;
    case X509_V_ERR_CERT_HAS_EXPIRED: t_reasons |= UntrustedCertificate::Expired; break;
    case X509_V_ERR_CERT_NOT_YET_VALID: t_reasons |= UntrustedCertificate::NotYetValid; break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: t_reasons |= UntrustedCertificate::NameMismatch; break;
    default:
        t_reasons |= UntrustedCertificate::OtherFault;
        if (!t_otherError)
            t_otherError = error;
        break;
    }
    // Go on, to find every reason.
    return 1;
}

QString localTimeText(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QString();
}

} // namespace

std::optional<CertificateDetails> certificateDetails(const QByteArray &der)
{
    const X509Ptr x = fromDer(der);
    if (!x)
        return std::nullopt;
    CertificateDetails d;
    d.subject = nameText(X509_get_subject_name(x.get()));
    d.issuer = nameText(X509_get_issuer_name(x.get()));
    d.names = namesOf(x.get());
    d.notBefore = timeOf(X509_get0_notBefore(x.get()));
    d.notAfter = timeOf(X509_get0_notAfter(x.get()));
    d.sha256 = hexWithColons(QCryptographicHash::hash(der, QCryptographicHash::Sha256));
    // The key as libcurl pins it: SHA-256 of the DER SubjectPublicKeyInfo.
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x.get()), nullptr);
    if (length > 0) {
        QByteArray key(length, Qt::Uninitialized);
        unsigned char *p = reinterpret_cast<unsigned char *>(key.data());
        i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x.get()), &p);
        d.publicKeyPin = QStringLiteral("sha256//")
                         + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64());
    }
    return d;
}

int untrustedReasons(const QList<QByteArray> &chain, const QString &host, const QString &extraCaFile,
                     QString *otherFault)
{
    if (chain.isEmpty())
        return UntrustedCertificate::OtherFault;
    const X509Ptr leaf = fromDer(chain.first());
    if (!leaf)
        return UntrustedCertificate::OtherFault;
    std::vector<X509Ptr> held;
    STACK_OF(X509) *intermediates = sk_X509_new_null();
    for (qsizetype i = 1; i < chain.size(); ++i)
        if (X509Ptr x = fromDer(chain[i])) {
            sk_X509_push(intermediates, x.get());
            held.push_back(std::move(x));
        }
    X509_STORE *store = X509_STORE_new();
    loadSystemAuthorities(store);
    if (!extraCaFile.isEmpty())
        X509_STORE_load_file(store, QFile::encodeName(extraCaFile).constData());
    X509_STORE_CTX *ctx = X509_STORE_CTX_new();
    X509_STORE_CTX_init(ctx, store, leaf.get(), intermediates);
    X509_STORE_CTX_set_purpose(ctx, X509_PURPOSE_SSL_SERVER);
    X509_VERIFY_PARAM *param = X509_STORE_CTX_get0_param(ctx);
    const QByteArray name = host.trimmed().toUtf8();
    if (!QHostAddress(host.trimmed()).isNull())
        X509_VERIFY_PARAM_set1_ip_asc(param, name.constData());
    else
        X509_VERIFY_PARAM_set1_host(param, name.constData(), static_cast<size_t>(name.size()));
    X509_STORE_CTX_set_verify_cb(ctx, collectReason);
    t_reasons = 0;
    t_otherError = 0;
    X509_verify_cert(ctx);
    const int reasons = t_reasons;
    if (otherFault)
        *otherFault = t_otherError ? QString::fromLatin1(X509_verify_cert_error_string(t_otherError)) : QString();
    X509_STORE_CTX_free(ctx);
    X509_STORE_free(store);
    sk_X509_free(intermediates);
    ERR_clear_error();
    return reasons;
}

QStringList untrustedReasonTexts(const UntrustedCertificate &c)
{
    QStringList texts;
    if (c.reasons & UntrustedCertificate::NotThePinned)
        texts << QStringLiteral("このアカウントで信頼した証明書ではありません（サーバーの証明書が変わりました）。");
    if (c.reasons & UntrustedCertificate::UnknownIssuer)
        texts << QStringLiteral("発行者が不明です。信頼された認証局が発行した証明書ではありません"
                                "（自己署名の証明書を含みます）。");
    if (c.reasons & UntrustedCertificate::NameMismatch)
        texts << QStringLiteral("証明書の名前がサーバー名（%1）と一致しません。").arg(c.host);
    if (c.reasons & UntrustedCertificate::Expired)
        texts
            << QStringLiteral("証明書の有効期限が切れています（%1 まで）。").arg(localTimeText(c.certificate.notAfter));
    if (c.reasons & UntrustedCertificate::NotYetValid)
        texts << QStringLiteral("証明書の有効期間がまだ始まっていません（%1 から）。")
                     .arg(localTimeText(c.certificate.notBefore));
    if (c.reasons & UntrustedCertificate::OtherFault)
        texts << QStringLiteral("証明書に問題があります（%1）。").arg(c.otherFault);
    return texts;
}

QList<QPair<QString, QString>> certificateRows(const CertificateDetails &d)
{
    return {{QStringLiteral("発行先"), d.subject},
            {QStringLiteral("有効な名前"), d.names.join(QStringLiteral(", "))},
            {QStringLiteral("発行者"), d.issuer},
            {QStringLiteral("有効期間"),
             QStringLiteral("%1 から %2 まで").arg(localTimeText(d.notBefore), localTimeText(d.notAfter))},
            {QStringLiteral("SHA-256 フィンガープリント"), d.sha256}};
}

QString describeUntrustedCertificate(const UntrustedCertificate &c)
{
    QString text = QStringLiteral("%1 サーバー（%2:%3）の証明書を信頼できないため、接続を中止しました。\n")
                       .arg(c.protocol == MailProtocol::Pop3 ? QStringLiteral("POP3") : QStringLiteral("SMTP"), c.host)
                       .arg(c.port);
    for (const QString &reason : untrustedReasonTexts(c))
        text += QStringLiteral("・") + reason + QLatin1Char('\n');
    for (const auto &row : certificateRows(c.certificate))
        text += QStringLiteral("  %1: %2\n").arg(row.first, row.second);
    // What the account's PinnedKeys would hold to trust it.
    text += QStringLiteral("  公開鍵: %1\n").arg(c.certificate.publicKeyPin);
    return text;
}

QString usableCertificateName(const CertificateDetails &d)
{
    for (const QString &name : d.names)
        if (!name.isEmpty() && !name.contains(QLatin1Char('*')))
            return name;
    return {};
}

QString withPinnedKey(const QString &pinnedKeys, const QString &pin)
{
    QStringList keys = pinnedKeys.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (!pin.isEmpty() && !keys.contains(pin))
        keys << pin;
    return keys.join(QLatin1Char(';'));
}

void UntrustedCertificateSink::put(const UntrustedCertificate &c)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_last = c;
}

std::optional<UntrustedCertificate> UntrustedCertificateSink::take()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_last, std::nullopt);
}
