#include "faultserver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

FaultServer::~FaultServer()
{
    stop();
}

bool FaultServer::start(const QList<Rule> &rules, bool pipelining, bool smtpUtf8)
{
    QJsonArray list;
    for (const Rule &r : rules) {
        QJsonObject o{{QStringLiteral("on"), r.on}, {QStringLiteral("do"), r.action}};
        if (r.nth > 0)
            o.insert(QStringLiteral("nth"), r.nth);
        else
            o.insert(QStringLiteral("every"), true);
        list.append(o);
    }
    QJsonObject config{{QStringLiteral("pipelining"), pipelining}, {QStringLiteral("smtputf8"), smtpUtf8},
                       {QStringLiteral("auth"), m_auth},           {QStringLiteral("hold_after"), m_holdAfter},
                       {QStringLiteral("dead"), m_dead},           {QStringLiteral("rules"), list}};
    config.insert(QStringLiteral("chunking"), m_chunking);
    if (m_size)
        config.insert(QStringLiteral("size"), *m_size);
    QFile f(m_dir.filePath(QStringLiteral("config.json")));
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(config).toJson()) < 0) {
        m_error = f.errorString();
        return false;
    }
    f.close();
    m_proc = std::make_unique<QProcess>();
    m_proc->start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(QUILLPOST_SOURCE_DIR "/tests/support/faultserver.py"), f.fileName(),
                   m_dir.filePath(QStringLiteral("events"))});
    if (!m_proc->waitForStarted(5000) || !m_proc->waitForReadyRead(10000)) {
        m_error = QStringLiteral("fault server did not start: ") + QString::fromUtf8(m_proc->readAllStandardError());
        return false;
    }
    m_port = m_proc->readLine().trimmed().toInt();
    return m_port > 0;
}

void FaultServer::stop()
{
    if (!m_proc)
        return;
    m_proc->kill();
    m_proc->waitForFinished(3000);
    m_proc.reset();
}

QList<QJsonObject> FaultServer::events() const
{
    QList<QJsonObject> out;
    QFile f(m_dir.filePath(QStringLiteral("events")));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
    return out;
}

QList<FaultServer::Stored> FaultServer::stored() const
{
    QList<Stored> out;
    for (const QJsonObject &e : events()) {
        if (!e.contains(QStringLiteral("stored")))
            continue;
        Stored s;
        s.from = e.value(QStringLiteral("from")).toString();
        for (const QJsonValue &r : e.value(QStringLiteral("rcpt")).toArray())
            s.rcpt << r.toString();
        s.raw = e.value(QStringLiteral("raw")).toString().toLatin1();
        out << s;
    }
    return out;
}

QMap<QString, int> FaultServer::received() const
{
    QMap<QString, int> out;
    for (const Stored &s : stored())
        for (const QString &r : s.rcpt)
            ++out[r];
    return out;
}

int FaultServer::connections() const
{
    int n = 0;
    for (const QJsonObject &e : events())
        n += e.contains(QStringLiteral("connected")) ? 1 : 0;
    return n;
}

bool FaultServer::hasStalled() const
{
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("stalled")))
            return true;
    return false;
}

QList<FaultServer::Hello> FaultServer::hellos() const
{
    QList<Hello> out;
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("hello")))
            out << Hello{e.value(QStringLiteral("hello")).toString(), e.value(QStringLiteral("name")).toString(),
                         e.value(QStringLiteral("connection")).toInt()};
    return out;
}

QStringList FaultServer::mailCommands() const
{
    QStringList out;
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("mail")))
            out << e.value(QStringLiteral("mail")).toString();
    return out;
}

QStringList FaultServer::held() const
{
    QStringList out;
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("held")))
            out << e.value(QStringLiteral("held")).toString();
    return out;
}
