#include "dryrun.h"

#include <QDir>
#include <QSaveFile>
#include <QVariantList>

namespace {
QString envelopeFile(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("envelope.csv"));
}
}

DryRunTransport::DryRunTransport(const QString &folder, QString *firstError)
    : m_folder(folder), m_firstError(firstError), m_envelopes(envelopeFile(folder))
{
    if (!m_envelopes.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(m_envelopes.fileName(), m_envelopes.errorString());
}

bool DryRunTransport::prepareFolder(const QString &folder, QString *error)
{
    QFile probe(envelopeFile(folder));
    if (!QDir().mkpath(folder) || !probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = folder + QStringLiteral(": ")
                 + (probe.errorString().isEmpty() ? QStringLiteral("cannot make the folder") : probe.errorString());
        return false;
    }
    return true;
}

QVariant DryRunTransport::checkPop()
{
    return QVariantList{0, 0};
}

QString DryRunTransport::fail(const QString &path, const QString &reason)
{
    const QString text = QStringLiteral("Cannot write %1 (%2)").arg(path, reason);
    if (m_firstError && m_firstError->isEmpty())
        *m_firstError = text;
    return text;
}

void DryRunTransport::start(const Envelope &envelope, const QByteArray &message, const Envelope *)
{
    ++m_number;
    m_result.clear();
    QSaveFile eml(QDir(m_folder).filePath(QStringLiteral("%1.eml").arg(m_number, 5, 10, QLatin1Char('0'))));
    if (!eml.open(QIODevice::WriteOnly) || eml.write(message) != message.size() || !eml.commit()) {
        m_result = fail(eml.fileName(), eml.errorString());
        return;
    }
    const QByteArray line = QByteArray::number(m_number) + ',' + envelope.from.wire + ',' + envelope.to.wire + "\r\n";
    if (m_envelopes.write(line) != line.size())
        m_result = fail(m_envelopes.fileName(), m_envelopes.errorString());
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
