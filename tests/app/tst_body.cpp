// The message body file, attachments and printing of the main window.

#include "account.h"
#include "frmmail.h"
#include "qtprintjob.h"
#include "settingsstore.h"
#include "testutil.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

namespace {

const QString kBodyChanged = QStringLiteral("本文は変更されています。ファイルに保存しますか？");

QStringList listEntries(const frmMail &f)
{
    return f.attachmentPaths();
}

void checkFilters(const FileDialogSpec &spec, const QList<QPair<QString, QString>> &expected, int selected)
{
    QCOMPARE(spec.filters, expected);
    QCOMPARE(spec.filterIndex, selected);
}

// An account whose body header and signature the initial body is made of.
void useAccount(TestWorld &w)
{
    w.settings->setValue(QStringLiteral("Account"), QStringLiteral("0"));
    w.settings->setValue(QStringLiteral("szServer"), QStringLiteral("smtp.example.jp"));
    w.settings->setValue(QStringLiteral("BodyHeader"), QStringLiteral("各位"));
    w.settings->setValue(QStringLiteral("Signature"), QStringLiteral("--\r\n山田商店"));
}

// The scripted platform, but its print jobs go to a real printer: a PDF file.
class PdfPlatform : public FakePlatform {
public:
    explicit PdfPlatform(const QString &pdf)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
    }
    std::unique_ptr<PrintJob> startPrintJob() override
    {
        FakePlatform::startPrintJob();
        return std::make_unique<QtPrintJob>(&printer);
    }
    QPrinter printer{QPrinter::HighResolution};
};

struct Word {
    QString text;
    double x = 0, y = 0, height = 0, width = 0;
};

// The words of a PDF's first page, as pdftotext -bbox places them.
QList<Word> pdfWords(const QString &pdf)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("pdftotext")),
            {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    static const QRegularExpression re(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    QList<Word> out;
    for (auto it = re.globalMatch(QString::fromUtf8(p.readAllStandardOutput())); it.hasNext();) {
        const auto m = it.next();
        out.append({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                    m.captured(4).toDouble() - m.captured(2).toDouble(),
                    m.captured(3).toDouble() - m.captured(1).toDouble()});
    }
    return out;
}

} // namespace

class TestBody : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ActiveAccount = AccountRecord();
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    }
    void saveAsThenOpenGivesTheMessageBack();
    void saveIsDisabledUntilOpenThenWritesTheBodyFile();
    void openKeepsTheBodyWhenTheFileCantBeRead();
    void saveAsFailureKeepsTheChangedMark();
    void attachmentsKeepTheirCaseAndComeOnce();
    void newEmptiesTheMessageAndLeavesTheQuestionArmed();
    void resetBodyUsesTheAccountOfThisMoment();
    void printWritesDateSubjectAndBody();
    void printReachesARealPrinter();
    void yesOnTheClosingQuestionRunsSaveAs();
    void menuEntriesAreWired();
};

void TestBody::saveAsThenOpenGivesTheMessageBack()
{
    TestWorld w;
    const QString file = w.path(QStringLiteral("お知らせ.txt"));
    {
        frmMail f(w.ctx);
        f.txtSubject->setText(QStringLiteral("新商品のご案内"));
        f.setBodyText(QStringLiteral("いつもお世話になっております。\r\n\r\n①②ｶﾀｶﾅ"));
        w.platform.answerSave(file);
        f.mnuFileSaveAs_Click();

        const auto saves = w.platform.callsOf(QStringLiteral("save"));
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves[0].title, QStringLiteral("名前を付けて保存"));
        QVERIFY(saves[0].file.overwritePrompt);
        checkFilters(saves[0].file, {{QStringLiteral("txtﾌｧｲﾙ (*.txt)"), QStringLiteral("*.txt")}}, 1);

        // Code page 932 bytes, subject line first, one CR LF after the body.
        QCOMPARE(readBytes(file),
                 sjis(QStringLiteral("新商品のご案内\r\nいつもお世話になっております。\r\n\r\n①②ｶﾀｶﾅ\r\n")));
        QCOMPARE(f.BodyFileName, file);
        QVERIFY(!f.BodyChanged);
        QVERIFY(!f.mnuFileSave->isEnabled()); // only Open enables it
        VERIFY_PLATFORM(w.platform);
    }

    w.platform.reset();
    frmMail g(w.ctx);
    g.txtSubject->setText(QStringLiteral("古い件名"));
    w.platform.answerOpen({file});
    g.mnuFileOpen_Click();
    const auto opens = w.platform.callsOf(QStringLiteral("open"));
    QCOMPARE(opens.size(), 1);
    QCOMPARE(opens[0].title, QStringLiteral("ファイルを開く"));
    QVERIFY(opens[0].file.mustExist);
    QVERIFY(!opens[0].file.multiSelect);
    QVERIFY(opens[0].file.fileName.isEmpty());
    checkFilters(opens[0].file,
                 {{QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")},
                  {QStringLiteral("txt ﾌｧｲﾙ (*.txt)"), QStringLiteral("*.txt")}},
                 2);
    QCOMPARE(g.txtSubject->text(), QStringLiteral("新商品のご案内"));
    QCOMPARE(g.bodyText(), QStringLiteral("いつもお世話になっております。\r\n\r\n①②ｶﾀｶﾅ\r\n"));
    QVERIFY(g.mnuFileSave->isEnabled());
    QCOMPARE(g.BodyFileName, file);
    QVERIFY(!g.BodyChanged);
    QCOMPARE(w.platform.busyLog, QStringList({"on", "off"}));

    // Saving again adds one more line end each round.
    g.mnuFileSave_Click();
    QCOMPARE(readBytes(file),
             sjis(QStringLiteral("新商品のご案内\r\nいつもお世話になっております。\r\n\r\n①②ｶﾀｶﾅ\r\n\r\n")));
    VERIFY_PLATFORM(w.platform);
}

void TestBody::saveIsDisabledUntilOpenThenWritesTheBodyFile()
{
    TestWorld w;
    frmMail f(w.ctx);
    QVERIFY(!f.mnuFileSave->isEnabled());
    // Reached anyway, with no body file it does nothing.
    f.setBodyText(QStringLiteral("x"));
    f.mnuFileSave_Click();
    QVERIFY(f.BodyChanged);
    QCOMPARE(QDir(w.dir.path()).entryList(QDir::Files), QStringList({"settings.ini"}));

    const QString bodyFile = w.path(QStringLiteral("body.txt"));
    const QString attachment = w.path(QStringLiteral("price.csv"));
    writeBytes(bodyFile, sjis(QStringLiteral("件名\r\n本文\r\n")));
    writeBytes(attachment, "a,b\r\n");
    w.platform.answerOpen({bodyFile});
    f.mnuFileOpen_Click();
    QCOMPARE(f.sbStatusBar->currentMessage(), QStringLiteral("文字コード：シフトJIS"));
    w.platform.answerOpen({attachment});
    f.mnuTempOpen_Click();
    QCOMPARE(f.BodyFileName, bodyFile);

    f.setBodyText(QStringLiteral("書き直した本文"));
    QVERIFY(f.BodyChanged);
    f.mnuFileSave_Click();
    QVERIFY(!f.BodyChanged);
    QCOMPARE(readBytes(bodyFile), sjis(QStringLiteral("件名\r\n書き直した本文\r\n")));
    QCOMPARE(readBytes(attachment), QByteArray("a,b\r\n"));

    // Text code page 932 can't hold: UTF-8 with its mark, when the user agrees.
    f.setBodyText(QStringLiteral("絵文字😀と髙"));
    w.platform.answerMessage(MsgAnswer::No);
    f.mnuFileSave_Click();
    QVERIFY(f.BodyChanged);
    QCOMPARE(readBytes(bodyFile), sjis(QStringLiteral("件名\r\n書き直した本文\r\n")));
    w.platform.answerMessage(MsgAnswer::Yes);
    f.mnuFileSave_Click();
    QVERIFY(!f.BodyChanged);
    QCOMPARE(readBytes(bodyFile), "\xEF\xBB\xBF" + QStringLiteral("件名\r\n絵文字😀と髙\r\n").toUtf8());
    QVERIFY(w.platform.messageTexts().last().contains(QStringLiteral("\n😀\n")));

    // A file that cannot be written is reported, and the body stays marked
    // as changed so that closing still offers to save it.
    f.BodyFileName = w.path(QStringLiteral("no-such-folder/body.txt"));
    f.setBodyText(QStringLiteral("y"));
    f.mnuFileSave_Click();
    QVERIFY(f.BodyChanged);
    QVERIFY(w.platform.messageTexts().last().startsWith(QStringLiteral("ファイルに保存できませんでした。")));
    w.platform.answerMessage(MsgAnswer::No);
    QVERIFY(f.close());
    QCOMPARE(w.platform.messageTexts().last(), kBodyChanged);
    VERIFY_PLATFORM(w.platform);
}

void TestBody::openKeepsTheBodyWhenTheFileCantBeRead()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.txtSubject->setText(QStringLiteral("元の件名"));
    f.setBodyText(QStringLiteral("元の本文"));

    // Cancelled: nothing changes.
    w.platform.answerOpen({});
    f.mnuFileOpen_Click();
    QCOMPARE(f.bodyText(), QStringLiteral("元の本文"));
    QVERIFY(w.platform.busyLog.isEmpty());

    // Empty file: there is no first line; the body was already emptied.
    const QString empty = w.path(QStringLiteral("empty.txt"));
    writeBytes(empty, QByteArray());
    w.platform.answerOpen({empty});
    f.mnuFileOpen_Click();
    QCOMPARE(f.bodyText(), QString());
    QCOMPARE(f.txtSubject->text(), QStringLiteral("元の件名"));
    QVERIFY(!f.mnuFileSave->isEnabled());
    QVERIFY(f.BodyFileName.isEmpty());
    QCOMPARE(w.platform.busyLog, QStringList({"on", "off"}));

    // Bytes that are neither UTF-8 nor code page 932: said so, body kept.
    const QString broken = w.path(QStringLiteral("broken.txt"));
    writeBytes(broken, QByteArray("subject\r\n\x81\x20text\r\n"));
    f.setBodyText(QStringLiteral("元の本文"));
    w.platform.answerOpen({broken});
    f.mnuFileOpen_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("文字コードを判別できません。\n") + broken});
    QCOMPARE(f.bodyText(), QStringLiteral("元の本文"));
    QCOMPARE(f.txtSubject->text(), QStringLiteral("元の件名"));
    QVERIFY(!f.mnuFileSave->isEnabled());
    QVERIFY(f.BodyFileName.isEmpty());
    QCOMPARE(w.platform.busyDepth, 0);

    // A body file over 10 MB is refused unread, named, the body kept.
    const QString huge = w.path(QStringLiteral("huge.txt"));
    writeBytes(huge, QByteArray("subject\r\n"));
    QVERIFY(QFile::resize(huge, (qint64(10) << 20) + 1));
    w.platform.reset();
    w.platform.answerOpen({huge});
    f.mnuFileOpen_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("ファイルが大きすぎます（10 MB まで）。\n") + huge});
    QCOMPARE(f.bodyText(), QStringLiteral("元の本文"));
    QCOMPARE(w.platform.busyDepth, 0);

    // A body written by a Linux editor: UTF-8 without a mark.
    const QString utf8 = w.path(QStringLiteral("utf8.txt"));
    writeBytes(utf8, QStringLiteral("お知らせ\n本文😀\n").toUtf8());
    w.platform.answerOpen({utf8});
    f.mnuFileOpen_Click();
    QCOMPARE(f.txtSubject->text(), QStringLiteral("お知らせ"));
    QCOMPARE(f.bodyText(), QStringLiteral("本文😀\r\n"));
    w.platform.reset();

    // A file written with bare line feeds still opens line by line.
    const QString lf = w.path(QStringLiteral("lf.txt"));
    writeBytes(lf, sjis(QStringLiteral("件名\n一行目\n二行目")));
    w.platform.answerOpen({lf});
    f.mnuFileOpen_Click();
    QCOMPARE(f.txtSubject->text(), QStringLiteral("件名"));
    QCOMPARE(f.bodyText(), QStringLiteral("一行目\r\n二行目\r\n"));
    QVERIFY(f.mnuFileSave->isEnabled());
    QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
    VERIFY_PLATFORM(w.platform);
}

void TestBody::saveAsFailureKeepsTheChangedMark()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.setBodyText(QStringLiteral("本文"));
    w.platform.answerSave(QString());
    f.mnuFileSaveAs_Click();
    QVERIFY(f.BodyChanged);
    QVERIFY(f.BodyFileName.isEmpty());

    w.platform.answerSave(w.path(QStringLiteral("missing/folder.txt")));
    f.mnuFileSaveAs_Click();
    QVERIFY(f.BodyChanged);
    QVERIFY(f.BodyFileName.isEmpty());
    QCOMPARE(w.platform.callsOf(QStringLiteral("message")).size(), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestBody::attachmentsKeepTheirCaseAndComeOnce()
{
    TestWorld w;
    frmMail f(w.ctx);
    const QString docs = w.path(QStringLiteral("Docs"));
    QVERIFY(QDir().mkpath(docs));
    const QString a = docs + QStringLiteral("/a.txt");
    const QString b = docs + QStringLiteral("/Bericht.TXT");
    const QString c = docs + QStringLiteral("/見積書.pdf");
    const QString upperA = docs + QStringLiteral("/A.TXT");
    for (const QString &p : {a, b, c, upperA})
        writeBytes(p, "x");

    w.platform.answerOpen({a});
    f.mnuTempOpen_Click();
    const auto dlg = w.platform.callsOf(QStringLiteral("open"));
    QCOMPARE(dlg.size(), 1);
    QCOMPARE(dlg[0].title, QStringLiteral("添付ファイル"));
    QVERIFY(dlg[0].file.multiSelect);
    QVERIFY(dlg[0].file.mustExist);
    checkFilters(dlg[0].file,
                 {{QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")},
                  {QStringLiteral("doc ﾌｧｲﾙ (*.doc)"), QStringLiteral("*.doc")}},
                 1);

    // The same file chosen again: still one entry.
    w.platform.answerOpen({a});
    f.mnuTempOpen_Click();
    QCOMPARE(listEntries(f), QStringList({a}));
    QCOMPARE(f.txtFile->text(), a);

    // Two files in one go, then a third (one of the two already listed).
    w.platform.answerOpen({b, a});
    f.mnuTempOpen_Click();
    w.platform.answerOpen({c});
    f.mnuTempOpen_Click();
    QCOMPARE(listEntries(f), QStringList({a, b, c}));
    QCOMPARE(f.txtFile->text(), a + QLatin1Char('\t') + b + QLatin1Char('\t') + c);
    // Every listed path names a real file, so the send can attach it.
    for (const QString &p : listEntries(f))
        QVERIFY2(QFile::exists(p), qPrintable(p));

    // Cancelled: nothing changes.
    w.platform.answerOpen({});
    f.mnuTempOpen_Click();
    QCOMPARE(listEntries(f).size(), 3);

#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // Here a.txt and A.TXT are two files; both can be attached.
    w.platform.answerOpen({upperA});
    f.mnuTempOpen_Click();
    QCOMPARE(listEntries(f), QStringList({a, b, c, upperA}));
#endif

    f.mnuTempkKill_Click();
    QCOMPARE(f.List1->count(), 0);
    QCOMPARE(f.txtFile->text(), QString());
    VERIFY_PLATFORM(w.platform);
}

void TestBody::newEmptiesTheMessageAndLeavesTheQuestionArmed()
{
    TestWorld w;
    useAccount(w);
    const QString att = w.path(QStringLiteral("a.pdf"));
    writeBytes(att, "x");
    frmMail f(w.ctx);
    f.Form_Activate();
    QVERIFY(!f.BodyChanged);
    w.sendList.append(QStringLiteral("山田"), QString(), QStringLiteral("yamada@example.jp"));
    f.Form_Activate();
    QCOMPARE(f.Text1->text(), QStringLiteral("1"));
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("書きかけ"));
    w.platform.answerOpen({att});
    f.mnuTempOpen_Click();
    f.BodyChanged = false;

    f.mnuFileNew_Click();
    QCOMPARE(f.bodyText(), QStringLiteral("各位\r\n--\r\n山田商店"));
    QCOMPARE(f.txtSubject->text(), QString());
    QCOMPARE(f.List1->count(), 0);
    QCOMPARE(f.txtFile->text(), QString());
    QCOMPARE(w.sendList.count(), 0);
    QCOMPARE(f.Text1->text(), QStringLiteral("1")); // until the next activation
    QVERIFY(f.BodyChanged);

    w.platform.answerMessage(MsgAnswer::No);
    QVERIFY(f.close());
    QCOMPARE(w.platform.messageTexts(), QStringList({kBodyChanged}));
    VERIFY_PLATFORM(w.platform);
}

void TestBody::resetBodyUsesTheAccountOfThisMoment()
{
    TestWorld w;
    useAccount(w);
    frmMail f(w.ctx);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("変えた本文"));
    // The account dialog changed the signature meanwhile.
    ActiveAccount.Signature = QStringLiteral("新しい署名");
    f.mnuBodyRefresh_Click();
    QCOMPARE(f.bodyText(), QStringLiteral("各位\r\n新しい署名"));
    QCOMPARE(f.txtSubject->text(), QStringLiteral("件名"));
    QVERIFY(!f.BodyChanged);
}

void TestBody::printWritesDateSubjectAndBody()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.setBodyText(QStringLiteral("一行目\r\n\r\n三行目"));

    // Cancelled: nothing is printed.
    w.platform.answerPrintDialog(false);
    f.mnuFilePrint_Click();
    QVERIFY(w.platform.printed.isEmpty());
    QVERIFY(w.platform.callsOf(QStringLiteral("printJob")).isEmpty());

    w.platform.answerPrintDialog(true);
    f.mnuFilePrint_Click();
    const auto dlg = w.platform.callsOf(QStringLiteral("print"));
    QCOMPARE(dlg.size(), 2);
    QCOMPARE(dlg[1].title, QStringLiteral("印刷"));
    // The printer's own font, size 12 for the heading and 11 for the body;
    // an empty subject stands alone on its line.
    const QStringList expected = {"size:12",
                                  "line:",
                                  "line:",
                                  "line:",
                                  "line:Date       2005/04/01",
                                  "line:Subject    ",
                                  "line:Body  ",
                                  "line:",
                                  "size:11",
                                  "line:一行目",
                                  "line:",
                                  "line:三行目",
                                  "enddoc"};
    QCOMPARE(w.platform.printed, expected);
    QCOMPARE(w.platform.busyLog, QStringList({"on", "off"}));
    // Printing leaves the body file and the changed mark alone.
    QVERIFY(f.BodyChanged);
    QVERIFY(f.BodyFileName.isEmpty());

    // The date follows the clock and the subject follows the field.
    w.platform.printed.clear();
    w.platform.clock = QDateTime(QDate(2026, 12, 7), QTime(23, 59));
    f.txtSubject->setText(QStringLiteral("ご案内"));
    w.platform.answerPrintDialog(true);
    f.mnuFilePrint_Click();
    QCOMPARE(w.platform.printed.at(4), QStringLiteral("line:Date       2026/12/07"));
    QCOMPARE(w.platform.printed.at(5), QStringLiteral("line:Subject    ご案内"));

    // Printer set-up: cancelling is silent and prints nothing.
    w.platform.printed.clear();
    w.platform.answerPrinterSetup(false);
    f.mnuFilePageSetup_Click();
    const auto setup = w.platform.callsOf(QStringLiteral("printSetup"));
    QCOMPARE(setup.size(), 1);
    QCOMPARE(setup[0].title, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
    QVERIFY(w.platform.printed.isEmpty());
    VERIFY_PLATFORM(w.platform);
}

void TestBody::printReachesARealPrinter()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed words back");
    TestWorld w;
    const QString pdf = w.path(QStringLiteral("message.pdf"));
    PdfPlatform platform(pdf);
    w.ctx.platform = &platform;
    frmMail f(w.ctx);
    f.txtSubject->setText(QStringLiteral("新商品のご案内"));
    f.setBodyText(QStringLiteral("山田様\r\n\r\n価格\t１２００円"));
    platform.answerPrintDialog(true);
    f.mnuFilePrint_Click();
    QVERIFY(readBytes(pdf).startsWith("%PDF"));

    QList<Word> words = pdfWords(pdf);
    std::sort(words.begin(), words.end(),
              [](const Word &a, const Word &b) { return a.y < b.y - 0.5 || (qAbs(a.y - b.y) <= 0.5 && a.x < b.x); });
    QStringList texts;
    for (const Word &word : words)
        texts << word.text;
    QCOMPARE(texts,
             QStringList({"Date", "2005/04/01", "Subject", "新商品のご案内", "Body", "山田様", "価格", "１２００円"}));
    // Lines in order, the heading in 12 points and the body in 11.
    QVERIFY(words[0].y < words[2].y && words[2].y < words[4].y && words[4].y < words[5].y);
    QVERIFY2(words[0].height > words[5].height, qPrintable(QString::number(words[5].height)));
    QVERIFY(qAbs(words[1].y - words[0].y) < 0.5);
    // The empty line of the body keeps its place; the tab moves the price on.
    QVERIFY(words[6].y - words[5].y > 1.5 * words[5].height);
    // "価格" takes four columns, the tab four more: the price stands at column 8.
    QVERIFY(qAbs((words[7].x - words[6].x) - 2 * words[6].width) < 0.5);
    VERIFY_PLATFORM(platform);
}

void TestBody::yesOnTheClosingQuestionRunsSaveAs()
{
    TestWorld w;
    const QString file = w.path(QStringLiteral("closing.txt"));
    frmMail f(w.ctx);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerSave(file);
    QVERIFY(f.close());
    const auto calls = w.platform.calls;
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls[0].text, kBodyChanged);
    QCOMPARE(calls[1].kind, QStringLiteral("save"));
    QCOMPARE(calls[1].title, QStringLiteral("名前を付けて保存"));
    QCOMPARE(readBytes(file), sjis(QStringLiteral("件名\r\n本文\r\n")));
    // The window was unloaded: its settings are written.
    QCOMPARE(w.settings->value(QStringLiteral("checkATTN1")), QStringLiteral("1"));
    VERIFY_PLATFORM(w.platform);
}

void TestBody::menuEntriesAreWired()
{
    TestWorld w;
    frmMail f(w.ctx);
    const QString att = w.path(QStringLiteral("z.doc"));
    writeBytes(att, "x");
    w.platform.answerOpen({att});
    f.tbToolBar_ButtonClick(QStringLiteral("添付ファイル"));
    QCOMPARE(listEntries(f), QStringList({att}));
    f.mnuTempkKill->trigger();
    QCOMPARE(f.List1->count(), 0);

    const QString file = w.path(QStringLiteral("m.txt"));
    w.platform.answerSave(file);
    f.mnuFileSaveAs->trigger();
    QVERIFY(QFile::exists(file));
    w.platform.answerOpen({file});
    f.mnuFileOpen->trigger();
    QVERIFY(f.mnuFileSave->isEnabled());
    w.platform.answerPrintDialog(true);
    f.mnuFilePrint->trigger();
    QCOMPARE(w.platform.printed.last(), QStringLiteral("enddoc"));
    w.platform.answerPrinterSetup(true);
    f.mnuFilePageSetup->trigger();

    QWidget *owner = nullptr;
    w.ctx.openAccountDialog = [&](QWidget *o) { owner = o; };
    f.mnuSine->trigger();
    QCOMPARE(owner, &f);
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestBody)
#include "tst_body.moc"
