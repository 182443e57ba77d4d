#include "textfile.h"

#include "textcodec.h"

#include <QStringDecoder>

std::optional<QString> decodeText(const QByteArray &bytes, TextEncoding *found)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom)) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(QByteArrayView(bytes).sliced(bom.size()));
        if (decoder.hasError())
            return std::nullopt;
        if (found)
            *found = TextEncoding::Utf8WithBom;
        return text;
    }
    bool multibyte = false;
    if (isValidUtf8(bytes, &multibyte) && multibyte) {
        if (found)
            *found = TextEncoding::Utf8;
        return QString::fromUtf8(bytes);
    }
    std::optional<QString> text = decodeCp932(bytes);
    if (text && found)
        *found = TextEncoding::Cp932;
    return text;
}

std::optional<QString> readTextFile(const QString &path, QString *error, TextEncoding *found)
{
    QString reason;
    const std::optional<QByteArray> bytes = readFileBytes(path, &reason);
    if (!bytes) {
        if (error)
            *error = path + QStringLiteral(": ") + reason;
        return std::nullopt;
    }
    std::optional<QString> text = decodeText(*bytes, found);
    if (!text && error)
        *error = path + QStringLiteral(": neither UTF-8 nor code page 932 text");
    return text;
}
