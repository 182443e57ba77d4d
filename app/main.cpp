// The program that starts first. The commands without a window (send, check,
// login, inbox) run here without Widgets or Gui; anything else is the window,
// and this process becomes the window program beside it.

#include "apptitle.h"
#include "sendcommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc > 1 && isCommandLine({QString(), QString::fromLocal8Bit(argv[1])})) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(appTitle());
        QCoreApplication::setOrganizationName(appTitle());
        return runCommandLine(QCoreApplication::arguments());
    }
    const QByteArray window = QFile::encodeName(
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath()
        + QStringLiteral("/quillpost-window"));
    execv(window.constData(), argv);
    std::fprintf(stderr, "quillpost: the window program %s can't be started: %s\n", window.constData(),
                 std::strerror(errno));
    return 1;
}
