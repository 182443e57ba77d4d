#include "programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

QString joinProgramFolder(const QString &folder, const QString &fileName)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

static bool folderIsWritable(const QString &folder)
{
    // QFileInfo::isWritable only reads the mode bits; a real probe also
    // catches read-only mounts.
    QTemporaryFile probe(joinProgramFolder(folder, QStringLiteral(".quillpost-probe-XXXXXX")));
    return probe.open();
}

QString writableProgramFolder(const QString &executableFolder, const QString &userDataFolder)
{
    if (!executableFolder.isEmpty() && folderIsWritable(executableFolder))
        return executableFolder;
    QDir().mkpath(userDataFolder);
    return userDataFolder;
}

QString locateHelpFolder(const QString &executableFolder)
{
    if (QFileInfo::exists(joinProgramFolder(executableFolder, helpFileName())))
        return executableFolder;
    const QString installed = QDir::cleanPath(executableFolder + QStringLiteral("/../share/quillpost"));
    if (QFileInfo::exists(joinProgramFolder(installed, helpFileName())))
        return installed;
    return executableFolder;
}
