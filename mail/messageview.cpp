#include "messageview.h"

#include "iso2022jp.h"

#include <QByteArrayList>
#include <QHash>

namespace {

struct Part {
    QHash<QByteArray, QByteArray> headers; // lower-case names, unfolded values
    QByteArray body;
};

Part splitPart(const QByteArray &bytes)
{
    Part p;
    qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        end = bytes.size();
    // Unfold: a line starting with a blank continues the one before.
    QByteArray name;
    for (const QByteArray &line : bytes.left(end).split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if ((l.startsWith(' ') || l.startsWith('\t')) && !name.isEmpty()) {
            p.headers[name] += ' ' + l.trimmed();
            continue;
        }
        const qsizetype colon = l.indexOf(':');
        if (colon <= 0)
            continue;
        name = l.left(colon).trimmed().toLower();
        p.headers[name] = l.mid(colon + 1).trimmed();
    }
    p.body = bytes.mid(end + 4);
    return p;
}

// RFC 2047 encoded words (base64 or Q) in a header value; blanks between
// two encoded words belong to neither.
QString decodeWords(const QByteArray &value)
{
    QString out;
    QByteArray pending; // bytes of adjacent encoded words, decoded together
    qsizetype i = 0;
    bool lastWasWord = false;
    while (i < value.size()) {
        const qsizetype start = value.indexOf("=?", i);
        const qsizetype q1 = start < 0 ? -1 : value.indexOf('?', start + 2);
        const qsizetype q2 = q1 < 0 ? -1 : value.indexOf('?', q1 + 1);
        const qsizetype end = q2 < 0 ? -1 : value.indexOf("?=", q2 + 1);
        if (end < 0) {
            out += QString::fromUtf8(pending) + QString::fromUtf8(value.mid(i));
            return out;
        }
        const QByteArray between = value.mid(i, start - i);
        if (!(lastWasWord && between.trimmed().isEmpty())) {
            out += QString::fromUtf8(pending) + QString::fromUtf8(between);
            pending.clear();
        }
        const QByteArray encoding = value.mid(q1 + 1, q2 - q1 - 1).toUpper();
        QByteArray text = value.mid(q2 + 1, end - q2 - 1);
        if (encoding == "Q")
            text = QByteArray::fromPercentEncoding(text.replace('_', ' '), '=');
        else
            text = QByteArray::fromBase64(text);
        // An ISO-2022-JP word stands on its own: it ends in ASCII.
        if (value.mid(start + 2, q1 - start - 2).toUpper() == "ISO-2022-JP") {
            out += QString::fromUtf8(pending) + iso2022jp::decode(text);
            pending.clear();
        } else {
            pending += text;
        }
        lastWasWord = true;
        i = end + 2;
    }
    return out + QString::fromUtf8(pending);
}

QByteArray parameter(const QByteArray &value, const QByteArray &name)
{
    for (const QByteArray &piece : value.split(';')) {
        const QByteArray p = piece.trimmed();
        if (p.toLower().startsWith(name + '='))
            return p.mid(name.size() + 1).replace('"', QByteArray());
    }
    return {};
}

// filename*=UTF-8''..., its continuations filename*0*=, filename*1*=, ...,
// or a plain filename=.
QString fileName(const QByteArray &disposition)
{
    QByteArray encoded;
    for (const QByteArray &piece : disposition.split(';')) {
        const QByteArray p = piece.trimmed();
        const qsizetype eq = p.indexOf('=');
        if (eq < 0 || !p.toLower().startsWith("filename*"))
            continue;
        QByteArray value = p.mid(eq + 1);
        const qsizetype quote = value.indexOf("''");
        if (quote >= 0)
            value = value.mid(quote + 2);
        encoded += value;
    }
    if (!encoded.isEmpty())
        return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
    return QString::fromUtf8(parameter(disposition, "filename"));
}

QByteArray decodeBody(const Part &p)
{
    if (p.headers.value("content-transfer-encoding").toLower() == "base64")
        return QByteArray::fromBase64(QByteArray(p.body).replace("\r\n", QByteArray()));
    return p.body;
}

QString decodeText(const Part &p)
{
    if (parameter(p.headers.value("content-type"), "charset").toUpper() == "ISO-2022-JP")
        return iso2022jp::decode(decodeBody(p));
    return QString::fromUtf8(decodeBody(p));
}

} // namespace

MessageView viewMessage(const QByteArray &message)
{
    MessageView v;
    v.size = message.size();
    const Part top = splitPart(message);
    v.from = decodeWords(top.headers.value("from"));
    v.to = decodeWords(top.headers.value("to"));
    v.subject = decodeWords(top.headers.value("subject"));
    v.date = QString::fromLatin1(top.headers.value("date"));
    v.unsubscribe = QString::fromLatin1(top.headers.value("list-unsubscribe"));
    if (top.headers.contains("list-unsubscribe-post"))
        v.unsubscribe += QStringLiteral(" (One-Click)");
    const QByteArray type = top.headers.value("content-type");
    if (!type.toLower().startsWith("multipart/")) {
        v.text = decodeText(top);
        return v;
    }
    const QByteArray boundary = "--" + parameter(type, "boundary");
    const QByteArrayList pieces = top.body.split('\n');
    QByteArray current;
    QList<QByteArray> parts;
    bool inside = false;
    for (const QByteArray &line : pieces) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (l == boundary || l == boundary + "--") {
            if (inside)
                parts << current;
            current.clear();
            inside = l == boundary;
            continue;
        }
        if (inside)
            current += line + '\n';
    }
    for (const QByteArray &bytes : parts) {
        const Part p = splitPart(bytes);
        const QByteArray disposition = p.headers.value("content-disposition");
        if (disposition.toLower().startsWith("attachment"))
            v.attachments.append({fileName(disposition), decodeBody(p).size()});
        else if (v.text.isEmpty() && p.headers.value("content-type").toLower().startsWith("text/plain"))
            v.text = decodeText(p);
    }
    return v;
}
