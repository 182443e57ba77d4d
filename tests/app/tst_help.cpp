#include "addressbookwindow.h"
#include "dialogexcel.h"
#include "frmlog.h"
#include "frmmail.h"
#include "frmoptions.h"
#include "helpwindow.h"
#include "programfolder.h"
#include "testutil.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextFormat>
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
    void helpWindowOpensAtTheSectionDrawnWhole_data();
    void helpWindowOpensAtTheSectionDrawnWhole();
    void helpWindowOffersThePageToTheBrowser();
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

    // The program's own window, even where the desktop has a program for
    // the page: a desktop may accept the page and show nothing.
    QVERIFY(w.platform.desktopOpens);
    QStringList opened;
    auto lastHelp = [&] {
        const auto calls = w.platform.callsOf(QStringLiteral("help"));
        return calls.isEmpty() ? QString() : calls.last().text;
    };
    {
        frmMail f(w.ctx);
        f.mnuHelpContents->trigger();
        opened << QStringLiteral("frmMail ") + lastHelp();
        f.mnuOnline->trigger();
        const QUrl support(lastHelp());
        QCOMPARE(support.toLocalFile(), page);
        QCOMPARE(support.fragment(), QStringLiteral("support"));
    }
    {
        frmOptions d(w.ctx);
        d.Command1->click();
        opened << QStringLiteral("frmOptions ") + lastHelp();
    }
    {
        DialogMail d(w.ctx);
        d.mnuHelpkey->trigger();
        opened << QStringLiteral("DialogMail ") + lastHelp();
    }
    {
        DialogExcel d(w.ctx);
        d.mnuHelpInport->trigger();
        opened << QStringLiteral("DialogExcel ") + lastHelp();
    }
    {
        frmLog d(w.ctx);
        d.mnuHelpOpen->trigger();
        opened << QStringLiteral("frmLog ") + lastHelp();
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
    QCOMPARE(w.platform.callsOf(QStringLiteral("help")).size(), 6);
    // Every section asked for is on the page.
    const QString html = builtPage();
    for (const char *section : {"accounts", "address-book", "import", "log", "support", "main-window", "preview"})
        QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(QLatin1String(section))), section);

    // F1 opens the window's section.
    frmMail f(w.ctx);
    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F1);
    const auto help = w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 7);
    QCOMPARE(help.last().text, url + QStringLiteral("#main-window"));
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).size(), 0);
}

void TestHelp::helpWindowOpensAtTheSectionDrawnWhole_data()
{
    QTest::addColumn<QString>("section");
    for (const char *section : {"main-window", "preview", "address-book", "import", "accounts", "log"})
        QTest::newRow(section) << QString::fromLatin1(section);
}

void TestHelp::helpWindowOpensAtTheSectionDrawnWhole()
{
    QFETCH(QString, section);
    // The section's heading, as the page names it.
    const QRegularExpression headingOf(QStringLiteral("id=\"%1\">([^<]+)<").arg(section));
    const QString heading = headingOf.match(builtPage()).captured(1);
    QVERIFY(!heading.isEmpty());

    // The real window on the built page, as the platform opens it.
    TestWorld w;
    const QUrl page = QUrl::fromLocalFile(joinProgramFolder(builtHelpFolder(), helpFileName()));
    HelpWindow window(w.platform, QUrl(page.toString() + QLatin1Char('#') + section));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTextBrowser *b = window.browser;
    QCOMPARE(b->source().fragment(), section);

    // The heading is the first thing in the view, a line of its own, and
    // the section follows it. A picture that the text engine takes into the
    // heading's paragraph makes that line as tall as the picture, and the
    // heading floats in an empty view.
    const QAbstractTextDocumentLayout *layout = b->document()->documentLayout();
    const int shown = b->viewport()->height();
    QVERIFY(b->verticalScrollBar()->value() > 0);
    const QTextBlock top = b->cursorForPosition(QPoint(20, 2)).block();
    QCOMPARE(top.text(), heading);
    const QRectF headingBox = layout->blockBoundingRect(top);
    QCOMPARE(qRound(headingBox.top()), b->verticalScrollBar()->value());
    QVERIFY2(headingBox.height() < shown / 8, qPrintable(QString::number(headingBox.height())));
    // Right under it, the section's picture; under that its caption, not a
    // band of blank that a line spacing meant for text leaves.
    const QTextBlock picture = top.next();
    QTextImageFormat image;
    for (auto it = picture.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat())
            image = it.fragment().charFormat().toImageFormat();
    QVERIFY2(image.height() > 0, qPrintable(picture.text()));
    const QRectF pictureBox = layout->blockBoundingRect(picture);
    QVERIFY(pictureBox.top() < headingBox.bottom() + shown / 8);
    const qreal gap = layout->blockBoundingRect(picture.next()).top() - pictureBox.bottom();
    QVERIFY2(gap < shown / 8, qPrintable(QString::number(gap)));
}

void TestHelp::helpWindowOffersThePageToTheBrowser()
{
    TestWorld w;
    const QUrl page = QUrl::fromLocalFile(joinProgramFolder(builtHelpFolder(), helpFileName()));
    HelpWindow window(w.platform, QUrl(page.toString() + QStringLiteral("#support")));
    window.show();
    QVERIFY(window.browser->toPlainText().contains(QStringLiteral("サポート")));
    QCOMPARE(window.cmdBrowser->text(), QStringLiteral("ブラウザで開く"));

    // The page at the section shown, through the platform's shell open.
    QTest::mouseClick(window.cmdBrowser, Qt::LeftButton);
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).size(), 1);
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).last().text, page.toString() + QStringLiteral("#support"));

    // An in-page link is followed here, and back and forward work on it.
    QVERIFY(!window.cmdBack->isEnabled());
    emit window.browser->anchorClicked(QUrl(QStringLiteral("#accounts")));
    QCOMPARE(window.browser->source().fragment(), QStringLiteral("accounts"));
    QVERIFY(window.cmdBack->isEnabled());
    QTest::mouseClick(window.cmdBrowser, Qt::LeftButton);
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).last().text, page.toString() + QStringLiteral("#accounts"));
    window.cmdBack->click();
    QCOMPARE(window.browser->source().fragment(), QStringLiteral("support"));
    QVERIFY(window.cmdForward->isEnabled());

    // A link off the page goes to the desktop, never into this window.
    emit window.browser->anchorClicked(QUrl(QStringLiteral("https://example.jp/support")));
    QCOMPARE(w.platform.callsOf(QStringLiteral("shell")).last().text, QStringLiteral("https://example.jp/support"));
    QCOMPARE(window.browser->source().fragment(), QStringLiteral("support"));

    // A desktop without a browser: the user is told, the window stays.
    w.platform.desktopOpens = false;
    QTest::mouseClick(window.cmdBrowser, Qt::LeftButton);
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("このページを開くブラウザが見つかりません。")});
    QVERIFY(window.isVisible());
    VERIFY_PLATFORM(w.platform);
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
