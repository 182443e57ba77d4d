// The window program: the main window and everything it opens. It is
// started by quillpost, which runs the commands without a window itself.

#include "appcontext.h"
#include "apptitle.h"
#include "appwindows.h"
#include "frmmail.h"
#include "qtplatform.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "singleinstance.h"

#include <QApplication>
#include <QIcon>
#include <QMetaObject>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installJapaneseQtTranslation(app);
    QApplication::setApplicationName(appTitle());
    QApplication::setOrganizationName(appTitle());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost-256.png")));

    QtPlatform platform;
    SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (refuseSecondStart(platform, instance))
        return 0;
    SettingsStore settings;
    SendList sendList;
    AppContext ctx;
    ctx.platform = &platform;
    ctx.settings = &settings;
    ctx.sendList = &sendList;
    wireWindows(ctx);

    frmMail w(ctx);
    w.show();
    instance.listen([&w] {
        w.setWindowState((w.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        w.raise();
        w.activateWindow();
        // A question or dialog open over it stays in front.
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
    });
    // First activation once the window is on screen.
    QMetaObject::invokeMethod(&w, "Form_Activate", Qt::QueuedConnection);
    return app.exec();
}
