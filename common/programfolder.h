#pragma once
#include <QString>

// A file beside the program: the folder, a separator unless the folder already
// ends in one (the root), then the file name.
QString joinProgramFolder(const QString &folder, const QString &fileName);

// The folder for the program's own files: the executable's folder when it is
// writable, otherwise the per-user data folder (created on demand).
QString writableProgramFolder(const QString &executableFolder, const QString &userDataFolder);

// The help page's folder: beside the executable when the page is there,
// otherwise the installed data folder (share/quillpost).
QString locateHelpFolder(const QString &executableFolder);

inline QString helpFileName()
{
    return QStringLiteral("Quillpost.html");
}
inline QString logFileName()
{
    return QStringLiteral("SendMail.Log");
}
inline QString defaultDatabaseName()
{
    return QStringLiteral("Quillpost.cdb");
}
inline QString compactFileName()
{
    return QStringLiteral("CompactFileName.cdb");
}
