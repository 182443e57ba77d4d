// First: glib names a member "signals", which Qt makes a keyword.
#include <gmime/gmime.h>

#include "inboxclassify.h"

#include "addressedit.h"
#include "unsubscribetoken.h"

#include <QRegularExpression>
#include <QStringList>
#include <mutex>

namespace {

void initGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <typename T, void (*Free)(gpointer)> struct GPtr {
    T *p = nullptr;
    explicit GPtr(T *ptr) : p(ptr) {}
    ~GPtr()
    {
        if (p)
            Free(p);
    }
    GPtr(const GPtr &) = delete;
    GPtr &operator=(const GPtr &) = delete;
};
using GObj = GPtr<void, g_object_unref>;

QString header(GMimeObject *object, const char *name)
{
    const char *v = g_mime_object_get_header(object, name);
    return v ? QString::fromUtf8(v).simplified() : QString();
}

struct Texts {
    QString all;            // every text part, decoded, one after the other
    QString deliveryStatus; // the message/delivery-status part
    bool report = false;
};

void collect(GMimeObject *, GMimeObject *part, gpointer data)
{
    auto &t = *static_cast<Texts *>(data);
    GMimeContentType *type = g_mime_object_get_content_type(part);
    if (GMIME_IS_TEXT_PART(part)) {
        char *text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
        if (text) {
            t.all += QString::fromUtf8(text) + QLatin1Char('\n');
            g_free(text);
        }
        return;
    }
    if (GMIME_IS_MESSAGE_PART(part)) {
        GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        if (inner) {
            char *text = g_mime_object_to_string(GMIME_OBJECT(inner), nullptr);
            if (text) {
                t.all += QString::fromUtf8(text) + QLatin1Char('\n');
                g_free(text);
            }
        }
        return;
    }
    if (!GMIME_IS_PART(part))
        return;
    GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(part));
    if (!content)
        return;
    GObj mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, GMIME_STREAM(mem.p));
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(bytes->data), bytes->len);
    if (g_mime_content_type_is_type(type, "message", "delivery-status")
        || g_mime_content_type_is_type(type, "message", "global-delivery-status"))
        t.deliveryStatus += text + QLatin1Char('\n');
    else if (g_mime_content_type_is_type(type, "text", "*") || g_mime_content_type_is_type(type, "message", "*"))
        t.all += text + QLatin1Char('\n');
}

// The fields of one group of a delivery status, names lower case,
// continuation lines joined.
QList<QHash<QString, QString>> statusGroups(const QString &text)
{
    QList<QHash<QString, QString>> groups(1);
    QString last;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        const QString line = QString(raw).remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty()) {
            if (!groups.last().isEmpty())
                groups.append(QHash<QString, QString>());
            last.clear();
            continue;
        }
        if ((line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))) && !last.isEmpty()) {
            groups.last()[last] += QLatin1Char(' ') + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        last = line.left(colon).trimmed().toLower();
        groups.last()[last] = line.mid(colon + 1).trimmed();
    }
    return groups;
}

// "rfc822; a@example.jp" -> "a@example.jp"
QString afterType(const QString &value)
{
    const qsizetype semi = value.indexOf(QLatin1Char(';'));
    QString v = (semi >= 0 ? value.mid(semi + 1) : value).trimmed();
    if (v.startsWith(QLatin1Char('<')) && v.endsWith(QLatin1Char('>')))
        v = v.mid(1, v.size() - 2);
    return v;
}

QString statusCode(const QString &text, QChar cls)
{
    static const QRegularExpression code(QStringLiteral("(?<![\\d.])([245])\\.(\\d{1,3})\\.(\\d{1,3})(?![\\d.])"));
    auto it = code.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.captured(1) == cls)
            return m.captured(0);
    }
    return {};
}

bool containsAny(const QString &text, const QStringList &words)
{
    for (const QString &w : words)
        if (text.contains(w, Qt::CaseInsensitive))
            return true;
    return false;
}

QString lineWith(const QString &text, const QString &needle)
{
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (line.contains(needle, Qt::CaseInsensitive))
            return line.simplified().left(200);
    return {};
}

// The token of the message we sent, quoted decoded or as it came.
QString tokenIn(const QString &decoded, const QByteArray &raw, const QByteArray &secret)
{
    const QString found = findTokenAddress(decoded.toUtf8(), secret);
    return found.isEmpty() ? findTokenAddress(raw, secret) : found;
}

bool looksLikeFailureNotice(const QString &fromAddress, const QString &subject)
{
    const QString local = fromAddress.section(QLatin1Char('@'), 0, 0).toLower();
    if (local == QStringLiteral("mailer-daemon") || local == QStringLiteral("postmaster"))
        return true;
    return containsAny(subject,
                       {QStringLiteral("failure notice"), QStringLiteral("undeliver"),
                        QStringLiteral("delivery status notification"), QStringLiteral("returned mail"),
                        QStringLiteral("delivery failure"), QStringLiteral("mail delivery failed"),
                        QStringLiteral("delivery delayed"), QStringLiteral("配信エラー"), QStringLiteral("配送エラー"),
                        QStringLiteral("送信エラー"), QStringLiteral("配信できませんでした"),
                        QStringLiteral("届きませんでした"), QStringLiteral("未達")});
}

bool isAutomaticReply(GMimeObject *m, const QString &subject)
{
    const QString submitted = header(m, "Auto-Submitted").toLower();
    if (!submitted.isEmpty() && submitted != QStringLiteral("no"))
        return true;
    if (!header(m, "X-Autoreply").isEmpty() || !header(m, "X-Autorespond").isEmpty()
        || header(m, "Precedence").toLower() == QStringLiteral("auto_reply"))
        return true;
    return containsAny(subject, {QStringLiteral("自動応答"), QStringLiteral("自動返信"), QStringLiteral("不在"),
                                 QStringLiteral("out of office"), QStringLiteral("out of the office"),
                                 QStringLiteral("automatic reply"), QStringLiteral("autoreply")});
}

bool isBulk(GMimeObject *m)
{
    const QString precedence = header(m, "Precedence").toLower();
    return !header(m, "List-Id").isEmpty() || !header(m, "List-Unsubscribe").isEmpty()
           || precedence == QStringLiteral("bulk") || precedence == QStringLiteral("list")
           || precedence == QStringLiteral("junk");
}

bool asksToStop(QString subject)
{
    static const QRegularExpression prefix(QStringLiteral("^\\s*((re|fwd?|aw)(\\[\\d+\\])?\\s*[:：]\\s*)+"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tail(QStringLiteral("[\\s。．.!！]+$"));
    subject.remove(prefix);
    subject.remove(tail);
    static const QStringList requests = {
        QStringLiteral("配信停止"),
        QStringLiteral("配信停止希望"),
        QStringLiteral("配信停止してください"),
        QStringLiteral("配信停止をお願いします"),
        QStringLiteral("配信停止お願いします"),
        QStringLiteral("購読解除"),
        QStringLiteral("購読解除希望"),
        QStringLiteral("unsubscribe"),
    };
    return requests.contains(subject.trimmed(), Qt::CaseInsensitive);
}

} // namespace

InboxClassification classifyInboxMessage(const QByteArray &raw, const QByteArray &secret,
                                         const std::function<bool(const QString &)> &inDatabase)
{
    initGMime();
    InboxClassification c;
    GObj stream(g_mime_stream_mem_new_with_buffer(raw.constData(), static_cast<size_t>(raw.size())));
    GObj parser(g_mime_parser_new_with_stream(GMIME_STREAM(stream.p)));
    GObj message(g_mime_parser_construct_message(GMIME_PARSER(parser.p), nullptr));
    if (!message.p || g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(message.p))) == 0) {
        c.kind = InboxClassification::Broken;
        return c;
    }
    auto *m = GMIME_MESSAGE(message.p);
    GMimeObject *object = GMIME_OBJECT(m);
    const char *subjectBytes = g_mime_message_get_subject(m);
    const QString subject = subjectBytes ? QString::fromUtf8(subjectBytes).simplified() : QString();
    QString from;
    if (InternetAddressList *list = g_mime_message_get_from(m); list && internet_address_list_length(list) > 0) {
        InternetAddress *a = internet_address_list_get_address(list, 0);
        if (INTERNET_ADDRESS_IS_MAILBOX(a))
            from = QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
    }

    Texts texts;
    GMimeObject *body = g_mime_message_get_mime_part(m);
    if (body) {
        texts.report = g_mime_content_type_is_type(g_mime_object_get_content_type(body), "multipart", "report");
        if (GMIME_IS_MULTIPART(body))
            g_mime_multipart_foreach(GMIME_MULTIPART(body), collect, &texts);
        else
            collect(nullptr, body, &texts);
    }

    if (texts.report) {
        const auto groups = statusGroups(texts.deliveryStatus.isEmpty() ? texts.all : texts.deliveryStatus);
        bool delayed = false;
        for (const auto &g : groups) {
            const QString action = g.value(QStringLiteral("action")).toLower();
            const QString status = g.value(QStringLiteral("status"));
            if (action == QStringLiteral("failed") && status.startsWith(QLatin1Char('5'))) {
                c.status = status.section(QLatin1Char(' '), 0, 0);
                c.diagnostic = afterType(g.value(QStringLiteral("diagnostic-code")));
                c.address = afterType(g.value(QStringLiteral("final-recipient")));
                if (normalisedRecipientAddress(c.address).isEmpty())
                    c.address = tokenIn(texts.all, raw, secret);
                c.kind = c.address.isEmpty() ? InboxClassification::Undetermined : InboxClassification::Bounce;
                return c;
            }
            if (action == QStringLiteral("delayed") || status.startsWith(QLatin1Char('4'))) {
                // Named, for the user to see; a delay suppresses nobody.
                if (!delayed)
                    c.address = afterType(g.value(QStringLiteral("final-recipient")));
                delayed = true;
            }
        }
        c.kind = delayed ? InboxClassification::Delayed : InboxClassification::Other;
        return c;
    }

    if (looksLikeFailureNotice(from, subject)) {
        const QString text = texts.all;
        c.status = statusCode(text, QLatin1Char('5'));
        if (c.status.isEmpty()) {
            static const QRegularExpression smtp(QStringLiteral("(?<!\\d)5\\d\\d(?=[ -])"));
            const auto m5 = smtp.match(text);
            if (m5.hasMatch())
                c.status = m5.captured(0);
        }
        if (c.status.isEmpty()) {
            const bool temporary = !statusCode(text, QLatin1Char('4')).isEmpty()
                                   || containsAny(subject + text,
                                                  {QStringLiteral("delay"), QStringLiteral("遅延"),
                                                   QStringLiteral("will retry"), QStringLiteral("still trying")});
            c.kind = temporary ? InboxClassification::Delayed : InboxClassification::Undetermined;
            return c;
        }
        // Only the original's token ties the notice to an address we sent to,
        // and the notice must name that address too.
        const QString address = tokenIn(text, raw, secret);
        if (address.isEmpty() || !text.contains(address, Qt::CaseInsensitive)) {
            c.kind = InboxClassification::Undetermined;
            c.status.clear();
            return c;
        }
        c.kind = InboxClassification::Bounce;
        c.address = address;
        c.diagnostic = lineWith(text, c.status);
        return c;
    }

    if (isAutomaticReply(object, subject) || isBulk(object))
        return c;
    const QString tokenAddress = findTokenAddress(subject.toUtf8(), secret);
    if (!tokenAddress.isEmpty()) {
        c.kind = InboxClassification::Unsubscribe;
        c.address = tokenAddress;
        return c;
    }
    if (!from.isEmpty() && asksToStop(subject) && inDatabase(from)) {
        c.kind = InboxClassification::Unsubscribe;
        c.address = from;
    }
    return c;
}
