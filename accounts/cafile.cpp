#include "cafile.h"

#include <QFile>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

// Reads every PEM block by its label only: a private key is never decoded,
// so an encrypted one asks for no pass phrase.
struct PemCount {
    int certificates = 0;
    int privateKeys = 0;
};

PemCount countPemBlocks(const QByteArray &bytes)
{
    PemCount count;
    BIO *bio = BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size()));
    if (!bio)
        return count;
    for (;;) {
        char *name = nullptr;
        char *header = nullptr;
        unsigned char *data = nullptr;
        long length = 0;
        if (PEM_read_bio(bio, &name, &header, &data, &length) != 1)
            break;
        const QByteArray label(name);
        if (label == "CERTIFICATE" || label == "TRUSTED CERTIFICATE" || label == "X509 CERTIFICATE") {
            const unsigned char *p = data;
            if (X509 *x = d2i_X509(nullptr, &p, length)) {
                ++count.certificates;
                X509_free(x);
            }
        } else if (label.endsWith("PRIVATE KEY")) {
            ++count.privateKeys;
        }
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
    }
    BIO_free(bio);
    return count;
}

} // namespace

QString caFileProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("証明書ファイル（%1）を読み込めません。").arg(path);
    // A bundle of every public authority is about 200 KB; far more is not a
    // certificate file.
    const QByteArray bytes = file.read(16 * 1024 * 1024);
    const PemCount count = countPemBlocks(bytes);
    if (count.certificates > 0)
        return {};
    if (count.privateKeys > 0)
        return QStringLiteral("証明書ファイル（%1）には証明書がなく、秘密鍵が入っています。"
                              "秘密鍵はサーバーの外に出さないでください。"
                              "信頼する証明書（認証局の証明書など）の PEM ファイルを指定してください。")
            .arg(path);
    return QStringLiteral("証明書ファイル（%1）に PEM 形式の証明書がありません。").arg(path);
}
