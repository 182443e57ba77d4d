#include "textfile.h"

#include "encodingguess.h"
#include "textcodec.h"

#include <QStringDecoder>
#include <algorithm>

QString textEncodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8WithBom: return QStringLiteral("UTF-8（BOM付き）");
    case TextEncoding::Utf8: return QStringLiteral("UTF-8");
    case TextEncoding::Cp932: break;
    }
    return QStringLiteral("シフトJIS");
}

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
    EncodingGuess guess;
    guess.add(bytes);
    if (guess.decide() == TextEncoding::Utf8) {
        if (found)
            *found = TextEncoding::Utf8;
        return QString::fromUtf8(bytes);
    }
    std::optional<QString> text = decodeCp932(bytes);
    if (text && found)
        *found = TextEncoding::Cp932;
    return text;
}

QString sizeLimitText(qint64 bytes)
{
    if (bytes >= (qint64(1) << 20) && bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    return QStringLiteral("%1 KB").arg(bytes >> 10);
}

std::optional<QByteArray> readFileBytesUpTo(const QString &path, qint64 maxBytes, QString *error, bool *tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return std::nullopt;
    }
    auto refuse = [&] {
        if (tooLarge)
            *tooLarge = true;
        if (error)
            *error = QStringLiteral("larger than %1").arg(sizeLimitText(maxBytes));
        return std::nullopt;
    };
    // A regular file tells its size; anything else shows it by reading.
    if (f.size() > maxBytes)
        return refuse();
    QByteArray bytes;
    while (bytes.size() <= maxBytes) {
        const QByteArray block = f.read(qMin<qint64>(TextFileStream::kBlock, maxBytes + 1 - bytes.size()));
        if (f.error() != QFileDevice::NoError) {
            if (error)
                *error = f.errorString();
            return std::nullopt;
        }
        if (block.isEmpty())
            return bytes;
        bytes += block;
    }
    return refuse();
}

std::optional<QString> readTextFile(const QString &path, QString *error, TextEncoding *found, qint64 maxBytes)
{
    QString reason;
    const std::optional<QByteArray> bytes = maxBytes < 0 ? readFileBytes(path, &reason)
                                                         : readFileBytesUpTo(path, maxBytes, &reason);
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

bool TextFileStream::fail(const QString &why, Failure failure)
{
    m_error = m_path + QStringLiteral(": ") + why;
    m_failure = failure;
    m_done = true;
    return false;
}

bool TextFileStream::failLine(qint64 line)
{
    m_failedLine = line;
    return fail(QStringLiteral("line %1 is longer than %2").arg(line).arg(sizeLimitText(m_limits.lineBytes)),
                Failure::LineTooLong);
}

// Counts the lines of bytes, which end at a line end unless the file ends
// there. Returns where a line over the limit starts, or -1.
qsizetype TextFileStream::overlongLineStart(QByteArrayView bytes)
{
    const char *d = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] != '\n' && d[i] != '\r')
            continue;
        if (m_limits.lineBytes > 0 && i - start > m_limits.lineBytes)
            return start;
        if (d[i] == '\r' && i + 1 < n && d[i + 1] == '\n')
            ++i;
        ++m_lines;
        start = i + 1;
    }
    if (m_limits.lineBytes > 0 && n - start > m_limits.lineBytes)
        return start;
    return -1;
}

bool TextFileStream::open(const QString &path, QString *error, Limits limits)
{
    m_path = path;
    m_limits = limits;
    m_error.clear();
    m_failure = Failure::None;
    m_lines = m_overlongLine = m_failedLine = 0;
    m_done = false;
    m_carry.clear();
    m_file.close();
    m_file.setFileName(path);
    auto failOpen = [&](const QString &why, Failure failure) {
        fail(why, failure);
        if (error)
            *error = m_error;
        return false;
    };
    if (!m_file.open(QIODevice::ReadOnly))
        return failOpen(m_file.errorString(), Failure::Unreadable);
    if (m_limits.fileBytes > 0 && m_file.size() > m_limits.fileBytes)
        return failOpen(QStringLiteral("larger than %1").arg(sizeLimitText(m_limits.fileBytes)), Failure::FileTooLarge);

    // The encoding: a byte-order mark, else as decodeText decides, fed the
    // blocks cut after their last line end so no character is split.
    const QByteArray head = m_file.peek(kBom.size());
    if (head == kBom) {
        m_encoding = TextEncoding::Utf8WithBom;
        m_file.skip(kBom.size());
        return true;
    }
    EncodingGuess guess;
    QByteArray carry;
    for (;;) {
        QByteArray block = m_file.read(kBlock);
        if (m_file.error() != QFileDevice::NoError)
            return failOpen(m_file.errorString(), Failure::Unreadable);
        if (block.isEmpty()) {
            guess.add(carry);
            break;
        }
        block.prepend(carry);
        const qsizetype end = std::max(block.lastIndexOf('\n'), block.lastIndexOf('\r'));
        // A line over the limit ends the reading before it; what comes
        // after it is never read.
        if (end < 0 && m_limits.lineBytes > 0 && block.size() > m_limits.lineBytes) {
            guess.add(block);
            break;
        }
        guess.add(QByteArrayView(block).first(end + 1));
        carry = block.sliced(end + 1);
    }
    m_encoding = guess.decide();
    if (!m_file.seek(0))
        return failOpen(m_file.errorString(), Failure::Unreadable);
    return true;
}

bool TextFileStream::next(QString *piece)
{
    while (!m_done) {
        if (m_overlongLine > 0)
            return failLine(m_overlongLine);
        // A line without its end yet is held only up to the limit (a CR at
        // the end may still be followed by its LF).
        if (m_limits.lineBytes > 0 && m_carry.size() - (m_carry.endsWith('\r') ? 1 : 0) > m_limits.lineBytes)
            return failLine(m_lines + 1);
        QByteArray block = m_file.read(kBlock);
        if (m_file.error() != QFileDevice::NoError)
            return fail(m_file.errorString(), Failure::Unreadable);
        QByteArray bytes;
        if (block.isEmpty()) {
            m_done = true;
            bytes = std::move(m_carry);
        } else {
            // Cut after the last line end: neither CR nor LF is ever part of
            // a multi-byte character in either encoding. A CR that ends the
            // block waits, as its LF may follow.
            qsizetype end = block.lastIndexOf('\n');
            const qsizetype cr = block.size() > 1 ? block.lastIndexOf('\r', block.size() - 2) : -1;
            end = qMax(end, cr);
            if (end < 0) {
                m_carry += block;
                continue;
            }
            bytes = std::move(m_carry);
            bytes.append(QByteArrayView(block).first(end + 1));
            m_carry = block.sliced(end + 1);
        }
        const qsizetype overlong = overlongLineStart(bytes);
        if (overlong >= 0) {
            // The lines before it are still handed out.
            m_overlongLine = m_lines + 1;
            m_done = false;
            bytes.truncate(overlong);
        }
        if (bytes.isEmpty())
            continue;
        if (m_encoding == TextEncoding::Cp932) {
            std::optional<QString> text = decodeCp932(bytes);
            if (!text)
                return fail(QStringLiteral("neither UTF-8 nor code page 932 text"), Failure::Encoding);
            *piece = std::move(*text);
        } else {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            *piece = decoder.decode(bytes);
            if (decoder.hasError())
                return fail(QStringLiteral("neither UTF-8 nor code page 932 text"), Failure::Encoding);
        }
        return true;
    }
    return false;
}
