#include "outgoing.h"

#include <algorithm>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QString honorificText(bool on)
{
    return on ? QStringLiteral("　様") : QString();
}

QString nameBlock(bool on, const QString &name1, const QString &name2, const QString &honorific)
{
    if (!on)
        return {};
    if (!name2.isEmpty())
        return name1 + kCrLf + name2 + honorific + kCrLf;
    return name1 + honorific + kCrLf;
}

QString bodyArgument(const QString &block, const QString &bodyText)
{
    return block + bodyText + kCrLf;
}

OutgoingMessages::OutgoingMessages(const OutgoingContent &content) : m_content(content)
{
    m_from = parseMailAddress(content.fromAddress);
    if (!m_from.isValid()) {
        m_commonError = addressErrorText(QStringLiteral("sender"), m_from, content.fromAddress);
        return;
    }
    QList<mime::Attachment> parts;
    for (const QString &path : content.attachmentText.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
        mime::Attachment a;
        if (!mime::loadAttachment(path, &a, &m_commonError, content.charset))
            return;
        parts.append(a);
    }
    m_builder.setCharset(content.charset);
    m_builder.setFrom(content.fromName, m_from.wire);
    m_builder.setSubject(content.subject);
    m_builder.setSharedText(bodyArgument(QString(), content.bodyText));
    m_builder.setAttachments(std::move(parts));
}

OutgoingMessage OutgoingMessages::checkedEnvelope(const SendList::Entry &entry)
{
    OutgoingMessage m;
    m.error = m_commonError;
    if (!m.error.isEmpty())
        return m;
    m.envelope.from = m_from;
    if (entry.address != m_lastAddress || (m_lastTo.wire.isEmpty() && m_lastTo.isValid())) {
        m_lastAddress = entry.address;
        m_lastTo = parseMailAddress(entry.address);
    }
    m.envelope.to = m_lastTo;
    if (!m.envelope.to.isValid())
        m.error = addressErrorText(QStringLiteral("recipient"), m.envelope.to, entry.address);
    return m;
}

OutgoingMessage OutgoingMessages::envelopeFor(const SendList::Entry &entry)
{
    OutgoingMessage m = checkedEnvelope(entry);
    if (m.error.isEmpty())
        m.envelope.size = m_builder.sizeOf(
            m.envelope.to.wire, nameBlock(m_content.nameBlock, entry.name1, entry.name2, m_content.honorific),
            unsubscribeExtra(m_content.unsubscribe, QString::fromUtf8(m.envelope.to.wire)));
    return m;
}

OutgoingMessage OutgoingMessages::messageFor(const SendList::Entry &entry, const QDateTime &when)
{
    OutgoingMessage m = checkedEnvelope(entry);
    if (m.error.isEmpty()) {
        m.data = m_builder.build(m.envelope.to.wire,
                                 nameBlock(m_content.nameBlock, entry.name1, entry.name2, m_content.honorific), when,
                                 unsubscribeExtra(m_content.unsubscribe, QString::fromUtf8(m.envelope.to.wire)));
        m.envelope.size = m.data.size();
    }
    return m;
}

qint64 OutgoingMessages::largestSize(const SendList &list)
{
    qint64 largest = 0;
    for (qsizetype i = 0; i < list.count(); ++i)
        largest = std::max(largest, envelopeFor(list.entry(i)).envelope.size);
    return largest;
}
