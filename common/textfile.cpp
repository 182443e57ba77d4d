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

namespace {
const QByteArray kBom("\xEF\xBB\xBF");
}

bool TextFileStream::fail(const QString &why, bool encoding)
{
    m_error = m_path + QStringLiteral(": ") + why;
    m_encodingUnknown = encoding;
    m_done = true;
    return false;
}

bool TextFileStream::open(const QString &path, QString *error)
{
    m_path = path;
    m_error.clear();
    m_encodingUnknown = false;
    m_done = false;
    m_carry.clear();
    m_file.close();
    m_file.setFileName(path);
    auto failOpen = [&](const QString &why, bool encoding) {
        fail(why, encoding);
        if (error)
            *error = m_error;
        return false;
    };
    if (!m_file.open(QIODevice::ReadOnly))
        return failOpen(m_file.errorString(), false);

    // The encoding: a byte-order mark, else UTF-8 when every byte is valid
    // UTF-8 and some sequence is multi-byte, else code page 932. Blocks are
    // checked up to their last ASCII byte, so no sequence is split.
    const QByteArray head = m_file.peek(kBom.size());
    if (head == kBom) {
        m_encoding = TextEncoding::Utf8WithBom;
        m_file.skip(kBom.size());
        return true;
    }
    bool valid = true, multibyte = false;
    QByteArray carry;
    while (valid) {
        QByteArray block = m_file.read(kBlock);
        if (m_file.error() != QFileDevice::NoError)
            return failOpen(m_file.errorString(), false);
        const bool last = block.isEmpty();
        if (!carry.isEmpty())
            block.prepend(carry);
        qsizetype cut = block.size();
        if (!last) {
            while (cut > 0 && static_cast<unsigned char>(block.at(cut - 1)) >= 0x80)
                --cut;
        }
        bool mb = false;
        valid = isValidUtf8(QByteArrayView(block).first(cut), &mb);
        multibyte = multibyte || mb;
        carry = block.sliced(cut);
        if (last)
            break;
    }
    m_encoding = valid && multibyte ? TextEncoding::Utf8 : TextEncoding::Cp932;
    if (!m_file.seek(0))
        return failOpen(m_file.errorString(), false);
    return true;
}

bool TextFileStream::next(QString *piece)
{
    while (!m_done) {
        QByteArray block = m_file.read(kBlock);
        if (m_file.error() != QFileDevice::NoError)
            return fail(m_file.errorString());
        QByteArray bytes;
        if (block.isEmpty()) {
            m_done = true;
            bytes = std::move(m_carry);
        } else {
            // Cut after the last line end: a LF is never part of a
            // multi-byte character in either encoding.
            const qsizetype lf = block.lastIndexOf('\n');
            if (lf < 0) {
                m_carry += block;
                continue;
            }
            bytes = std::move(m_carry);
            bytes.append(QByteArrayView(block).first(lf + 1));
            m_carry = block.sliced(lf + 1);
        }
        if (bytes.isEmpty())
            continue;
        if (m_encoding == TextEncoding::Cp932) {
            std::optional<QString> text = decodeCp932(bytes);
            if (!text)
                return fail(QStringLiteral("neither UTF-8 nor code page 932 text"), true);
            *piece = std::move(*text);
        } else {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            *piece = decoder.decode(bytes);
            if (decoder.hasError())
                return fail(QStringLiteral("neither UTF-8 nor code page 932 text"), true);
        }
        return true;
    }
    return false;
}
