#include "testutil.h"
#include "textcodec.h"

#include <QFile>

TestWorld::TestWorld()
{
    platform.folder = dir.path();
    settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini")));
    ctx.platform = &platform;
    ctx.settings = settings.get();
    ctx.sendList = &sendList;
}

TestWorld::~TestWorld() = default;

void TestWorld::reopenSettings()
{
    settings.reset();
    settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini")));
    ctx.settings = settings.get();
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray sjis(const QString &text)
{
    return encodeCp932(text);
}
