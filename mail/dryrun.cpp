#include "dryrun.h"

#include "filewrite.h"

#include <QDir>
#include <QVariantList>

namespace {
QString envelopeFile(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("envelope.csv"));
}
}

// The messages and envelopes are the customers' addresses and texts: every
// file is readable by the user only.
DryRunTransport::DryRunTransport(const QString &folder, QString *firstError)
    : m_folder(folder), m_firstError(firstError), m_envelopes(envelopeFile(folder))
{
    QString error;
    if (!openPrivate(m_envelopes, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered, &error))
        fail(error);
}

bool DryRunTransport::prepareFolder(const QString &folder, QString *error)
{
    if (!QDir().mkpath(folder)) {
        *error = folder + QStringLiteral(": cannot make the folder");
        return false;
    }
    QFile probe(envelopeFile(folder));
    return openPrivate(probe, QIODevice::WriteOnly | QIODevice::Truncate, error);
}

QVariant DryRunTransport::checkPop()
{
    return QVariantList{0, 0};
}

QString DryRunTransport::fail(const QString &error)
{
    const QString text = QStringLiteral("Cannot write ") + error;
    if (m_firstError && m_firstError->isEmpty())
        *m_firstError = text;
    return text;
}

void DryRunTransport::start(const Envelope &envelope, const QByteArray &message, const Envelope *)
{
    ++m_number;
    m_result.clear();
    const QString eml = QDir(m_folder).filePath(QStringLiteral("%1.eml").arg(m_number, 5, 10, QLatin1Char('0')));
    QString error;
    if (!saveWholeFile(eml, message, FileAccess::OwnerOnly, &error)) {
        m_result = fail(error);
        return;
    }
    const QByteArray line = QByteArray::number(m_number) + ',' + envelope.from.wire + ',' + envelope.to.wire + "\r\n";
    if (!m_envelopes.isOpen() || !writeFully(m_envelopes, line, &error))
        m_result = fail(m_envelopes.isOpen() ? error : m_envelopes.fileName() + QStringLiteral(": not open"));
}

MessageResult DryRunTransport::finish()
{
    return m_result.isEmpty() ? MessageResult{MessageResult::Kind::Accepted, {}}
                              : MessageResult{MessageResult::Kind::Refused, m_result};
}

void DryRunTransport::end()
{
    m_envelopes.close();
}
