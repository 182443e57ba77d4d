#include "appcontext.h"
#include "apptitle.h"
#include "appwindows.h"
#include "frmmail.h"
#include "qtplatform.h"
#include "sendlist.h"
#include "settingsstore.h"

#include <QApplication>
#include <QIcon>
#include <QMetaObject>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    QApplication::setOrganizationName(appTitle());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost-256.png")));

    QtPlatform platform;
    SettingsStore settings;
    SendList sendList;
    AppContext ctx;
    ctx.platform = &platform;
    ctx.settings = &settings;
    ctx.sendList = &sendList;
    wireWindows(ctx);

    frmMail w(ctx);
    w.show();
    // First activation once the window is on screen.
    QMetaObject::invokeMethod(&w, "Form_Activate", Qt::QueuedConnection);
    return app.exec();
}
