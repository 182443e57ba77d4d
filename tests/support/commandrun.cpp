#include "commandrun.h"

#include "settingkeys.h"
#include "settingsstore.h"

#include <QDir>
#include <QProcessEnvironment>

CommandWorld::CommandWorld(const QString &configFolder, const QString &workFolder)
    : m_config(configFolder), m_work(workFolder)
{
}

void CommandWorld::writeAccount(int profile, int port, int maxPerMinute) const
{
    QDir().mkpath(m_config + QStringLiteral("/Quillpost"));
    SettingsStore s(m_config + QStringLiteral("/Quillpost/Quillpost.ini"));
    s.setValue(Setting::Server, QStringLiteral("127.0.0.1"), profile);
    s.setValue(Setting::Port, QString::number(port), profile);
    s.setValue(Setting::SmtpAuth, QStringLiteral("0"), profile);
    s.setValue(Setting::From, QStringLiteral("shop@example.jp"), profile);
    s.setValue(Setting::FromName, QStringLiteral("山田商店"), profile);
    s.setValue(Setting::MaxPerMinute, QString::number(maxPerMinute), profile);
    // No notice in these bodies: the check before a run is tested on its own.
    s.setValue(Setting::NotAdvertising, QStringLiteral("1"), profile);
}

void CommandWorld::start(QProcess &p, const QStringList &arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config);
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_work + QStringLiteral("/data"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_work);
    p.start(m_program, arguments);
}

CommandRun CommandWorld::run(const QStringList &arguments) const
{
    QProcess p;
    start(p, arguments);
    CommandRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
