#include "addressbookwindow.h"
#include "dialogexcel.h"
#include "frmlog.h"
#include "frmmail.h"
#include "frmoptions.h"
#include "helpwindow.h"
#include "programfolder.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QtTest>

namespace {

// The build copies the page beside the executable, in the build folder.
QString builtHelpFolder()
{
    return locateHelpFolder(QStringLiteral(QUILLPOST_BINARY_DIR));
}

QString builtPage()
{
    QFile f(joinProgramFolder(builtHelpFolder(), helpFileName()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void everyHelpEntryOpensTheSamePage();
    void helpWindowOpensAtTheSection();
    void pageHasItsSupportSectionAndPictures();
    void installedLayoutIsFound();
};

void TestHelp::everyHelpEntryOpensTheSamePage()
{
    TestWorld w;
    w.platform.helpDir = builtHelpFolder();
    QCOMPARE(QDir(w.platform.helpDir).canonicalPath(), QDir(QStringLiteral(QUILLPOST_BINARY_DIR)).canonicalPath());
    const QString page = joinProgramFolder(w.platform.helpDir, QStringLiteral("Quillpost.html"));
    QVERIFY2(QFileInfo(page).isFile(), qPrintable(page));

    QStringList opened;
    auto lastShell = [&] {
        const auto calls = w.platform.callsOf(QStringLiteral("shell"));
        return calls.isEmpty() ? QString() : calls.last().text;
    };
    {
        frmMail f(w.ctx);
        f.mnuHelpContents->trigger();
        opened << QStringLiteral("frmMail ") + lastShell();
        f.mnuOnline->trigger();
        const QUrl support(lastShell());
        QCOMPARE(support.toLocalFile(), page);
        QCOMPARE(support.fragment(), QStringLiteral("support"));
    }
    {
        frmOptions d(w.ctx);
        d.Command1->click();
        opened << QStringLiteral("frmOptions ") + lastShell();
    }
    {
        DialogMail d(w.ctx);
        d.mnuHelpkey->trigger();
        opened << QStringLiteral("DialogMail ") + lastShell();
    }
    {
        DialogExcel d(w.ctx);
        d.mnuHelpInport->trigger();
        opened << QStringLiteral("DialogExcel ") + lastShell();
    }
    {
        frmLog d(w.ctx);
        d.mnuHelpOpen->trigger();
        opened << QStringLiteral("frmLog ") + lastShell();
    }
    // Each window opens its own section of the one page.
    const QString url = QUrl::fromLocalFile(page).toString();
    const QStringList expected = {
        QStringLiteral("frmMail ") + url,
        QStringLiteral("frmOptions ") + url + QStringLiteral("#accounts"),
        QStringLiteral("DialogMail ") + url + QStringLiteral("#address-book"),
        QStringLiteral("DialogExcel ") + url + QStringLiteral("#import"),
        QStringLiteral("frmLog ") + url + QStringLiteral("#log"),
    };
    QCOMPARE(opened, expected);
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).size(), 6);
    // Every section asked for is on the page.
    const QString html = builtPage();
    for (const char *section : {"accounts", "address-book", "import", "log", "support", "main-window", "preview"})
        QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(QLatin1String(section))), section);

    // A desktop with nothing to open the page: the program's own window, and
    // F1 opens the window's section.
    w.platform.desktopOpens = false;
    frmMail f(w.ctx);
    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F1);
    const auto help = w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 1);
    QCOMPARE(help[0].text, url + QStringLiteral("#main-window"));
}

void TestHelp::helpWindowOpensAtTheSection()
{
    // The real window on the built page, opened at a section.
    const QUrl page = QUrl::fromLocalFile(joinProgramFolder(builtHelpFolder(), helpFileName()));
    HelpWindow window(QUrl(page.toString() + QStringLiteral("#support")));
    QCOMPARE(window.browser->source().fragment(), QStringLiteral("support"));
    QVERIFY(window.browser->toPlainText().contains(QStringLiteral("サポート")));
    QVERIFY(!window.cmdBack->isEnabled());
    window.browser->setSource(QUrl(page.toString() + QStringLiteral("#accounts")));
    QVERIFY(window.cmdBack->isEnabled());
    window.cmdBack->click();
    QCOMPARE(window.browser->source().fragment(), QStringLiteral("support"));
    QVERIFY(window.cmdForward->isEnabled());
}

void TestHelp::pageHasItsSupportSectionAndPictures()
{
    const QString html = builtPage();
    QVERIFY(!html.isEmpty());
    QVERIFY(html.contains(QStringLiteral("<html lang=\"ja\">")));
    QVERIFY(html.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    QVERIFY(html.contains(QRegularExpression(QStringLiteral("id=\"support\""))));

    // Every picture and in-page link the page names is there.
    const QDir dir(builtHelpFolder());
    const QRegularExpression src(QStringLiteral("src=\"([^\"]+)\""));
    int pictures = 0;
    for (auto it = src.globalMatch(html); it.hasNext(); ++pictures) {
        const QString rel = it.next().captured(1);
        QVERIFY2(QFileInfo(dir.filePath(rel)).isFile(), qPrintable(rel));
    }
    QVERIFY(pictures >= 5);
    const QRegularExpression anchor(QStringLiteral("href=\"#([^\"]+)\""));
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const QString id = it.next().captured(1);
        QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(id)), qPrintable(id));
    }
}

void TestHelp::installedLayoutIsFound()
{
    // bin/quillpost with the page in share/quillpost, as cmake --install lays it out.
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/quillpost")));
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString share = prefix.filePath(QStringLiteral("share/quillpost"));
    QCOMPARE(locateHelpFolder(bin), bin); // nothing installed yet
    writeBytes(joinProgramFolder(share, helpFileName()), "<html></html>");
    QCOMPARE(locateHelpFolder(bin), share);
    // A page beside the program wins, as in the build tree.
    writeBytes(joinProgramFolder(bin, helpFileName()), "<html></html>");
    QCOMPARE(locateHelpFolder(bin), bin);

    // Where the program's folder cannot be written, its files go to the
    // per-user data folder. No one, not even root, creates files in /proc.
    const QString data = prefix.filePath(QStringLiteral("data/Quillpost"));
    QCOMPARE(writableProgramFolder(QStringLiteral("/proc"), data), data);
    QVERIFY(QFileInfo(data).isDir());
    QCOMPARE(writableProgramFolder(bin, data), bin);
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
