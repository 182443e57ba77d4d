#include "frmlog.h"
#include "logreader.h"
#include "logviewwindow.h"
#include "programfolder.h"
#include "sentmaillog.h"
#include "settingsstore.h"
#include "testutil.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>
#include <QUrl>
#include <QtTest>

namespace {

const QString kSaveQuestion = QStringLiteral("送信済みログを名前を付けて保存しますか？");

// A log as the send run writes it: CP932, CR LF, five fields a line.
QByteArray logBytes(const QStringList &lines)
{
    return sjis(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

const QStringList kThreeRecords = {
    QStringLiteral("山田太郎,taro@example.jp,smtp.example.jp,春の案内,2005/04/01 9:05:07"),
    QStringLiteral("佐藤花子,営業部,hanako@example.jp,送信済,2005/04/01 9:05:08"),
    QStringLiteral("鈴木一郎,,ichiro@example.jp,送信済,2005/04/01 9:05:09"),
    QStringLiteral("ｶﾀｶﾅ ﾀﾛｳ,総務課,bad@example.jp,送信エラー550 mailbox unavailable,2005/04/01 9:05:10"),
};

QString appLog(TestWorld &w)
{
    return w.path(logFileName());
}

QStringList rowOf(QTableWidget *g, int r)
{
    QStringList out;
    for (int c = 0; c < g->columnCount(); ++c)
        out << (g->item(r, c) ? g->item(r, c)->text() : QString());
    return out;
}

} // namespace

class TestLogView : public QObject {
    Q_OBJECT
private slots:
    void readerKeepsQuotedCommasAndStopsAtBadBytes();
    void namesWithCommasKeepTheirColumns();
    void headerAndThreeRecordsGiveThreeRows();
    void closingAsksOnlyWhileTheLogIsUnsaved();
    void yesOnTheClosingQuestionSavesThenCloses();
    void saveAfterOpeningAnotherFileCopiesTheApplicationLog();
    void saveAsksBeforeReplacingAndReportsFailures();
    void windowStateIsStoredUnlessMinimised();
    void sixFieldRecordShiftsLaterRowsAndDropsTheShortLast();
    void missingOrBrokenLogAsksNothing();
    void openedFromTheMainWindowAndMenusAreWired();
};

void TestLogView::namesWithCommasKeepTheirColumns()
{
    // The writer quotes what would split a record; the reader takes it whole.
    TestWorld w;
    const QString path = w.path(QStringLiteral("SendMail.Log"));
    const QDateTime t(QDate(2005, 4, 1), QTime(9, 5, 7));
    {
        SentMailLog log;
        QVERIFY(log.open(path, QStringLiteral("山田商店"), QStringLiteral("a@b.jp"), QStringLiteral("smtp.b.jp"),
                         QStringLiteral("ご案内, 春"), t));
        QVERIFY(log.writeSuccess(QStringLiteral("総務課, 本社"), QStringLiteral("\"佐藤\" 様"),
                                 QStringLiteral("c@d.jp"), t));
        QVERIFY(log.writeError(QStringLiteral("鈴木"), QString(), QStringLiteral("e@f.jp"),
                               QStringLiteral("550 a,b,c,d"), t));
    }
    const LogContents log = readLogFile(path);
    QVERIFY2(log.complete, qPrintable(log.error));
    QCOMPARE(log.header.at(3), QStringLiteral("ご案内, 春"));
    QCOMPARE(log.rows.size(), 2);
    QCOMPARE(log.rows[0], (QStringList{"総務課, 本社", "＂佐藤＂ 様", "c@d.jp", "送信済", "2005/04/01 9:05:07"}));
    // Error texts keep their mend: three commas become blanks, the fourth splits.
    QCOMPARE(log.rows[1].at(3), QStringLiteral("送信エラー550 a b c d"));
}

void TestLogView::readerKeepsQuotedCommasAndStopsAtBadBytes()
{
    // Quoted values keep their commas; an empty second name stays one field.
    LogContents log = parseLogBytes(
        sjis(QStringLiteral("差出人,a@b.jp,\"smtp,x\",件名,日時\r\n名1,,c@d.jp,送信済,t1\r\n")));
    QVERIFY(log.complete);
    QCOMPARE(log.header, QStringList({"差出人", "a@b.jp", "smtp,x", "件名", "日時"}));
    QCOMPARE(log.rows.size(), 1);
    QCOMPARE(log.rows.at(0), QStringList({"名1", "", "c@d.jp", "送信済", "t1"}));
    QCOMPARE(logStatusText(log.header),
             QStringLiteral("Server / smtp,x    From Name / 差出人    Mail Address / a@b.jp"));

    // Bytes that are not CP932 end the reading; the whole records before stay.
    QByteArray bytes = logBytes(kThreeRecords.mid(0, 3));
    bytes += QByteArray("x,y,z\x81\x20,s,t\r\n");
    log = parseLogBytes(bytes);
    QVERIFY(!log.complete);
    QVERIFY(!log.error.isEmpty());
    QCOMPARE(log.rows.size(), 2);
    QCOMPARE(log.rows.at(1).at(0), QStringLiteral("鈴木一郎"));
}

void TestLogView::headerAndThreeRecordsGiveThreeRows()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    w.platform.setBusy(true); // as the opener does
    frmLog f(w.ctx);
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(f.windowTitle(), QStringLiteral("送信済ログ"));
    QCOMPARE(f.LogFilePath, appLog(w));
    QVERIFY(f.UnsavedLog);

    QCOMPARE(f.Text1->text(), QStringLiteral("春の案内"));
    QCOMPARE(f.Text2->text(), QStringLiteral("2005/04/01 9:05:07"));
    QCOMPARE(f.sbPanel1->text(),
             QStringLiteral("Server / smtp.example.jp    From Name / 山田太郎    Mail Address / taro@example.jp"));
    QCOMPARE(f.Label1->text(), QStringLiteral("Subject :"));
    QCOMPARE(f.Label2->text(), QStringLiteral("Date Time:"));

    QTableWidget *g = f.MSFlexGrid1;
    QCOMPARE(g->columnCount(), 5);
    QCOMPARE(g->rowCount(), 3);
    const QStringList headers = {"Name1", "Name2", "Mail Address", "Status", "Date Time"};
    const int widths[] = {173, 173, 200, 266, 173};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(g->horizontalHeaderItem(c)->text(), headers.at(c));
        QCOMPARE(g->columnWidth(c), widths[c]);
    }
    QCOMPARE(rowOf(g, 0), QStringList({"佐藤花子", "営業部", "hanako@example.jp", "送信済", "2005/04/01 9:05:08"}));
    QCOMPARE(rowOf(g, 1), QStringList({"鈴木一郎", "", "ichiro@example.jp", "送信済", "2005/04/01 9:05:09"}));
    QCOMPARE(rowOf(g, 2), QStringList({"ｶﾀｶﾅ ﾀﾛｳ", "総務課", "bad@example.jp", "送信エラー550 mailbox unavailable",
                                       "2005/04/01 9:05:10"}));
    // The viewer only reads.
    QCOMPARE(readBytes(appLog(w)), logBytes(kThreeRecords));

    // Resizing keeps the grid and the subject box inside the window.
    f.resize(900, 500);
    f.Form_Resize();
    QVERIFY(g->height() > 500 - 182);
    QCOMPARE(g->width(), 900 - 24);
    QCOMPARE(f.Text1->width(), 900 - 95);
    QVERIFY(f.Text1->geometry().right() < 900);
    QVERIFY(g->geometry().bottom() < f.sbStatusBar->geometry().top());
    QVERIFY(f.sbStatusBar->geometry().top() - g->geometry().bottom() < 12);
    QVERIFY(f.Text1->geometry().bottom() < g->geometry().top());
    VERIFY_PLATFORM(w.platform);
}

void TestLogView::closingAsksOnlyWhileTheLogIsUnsaved()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    {
        frmLog f(w.ctx);
        f.show();
        w.platform.answerMessage(MsgAnswer::Cancel);
        f.mnuClose_Click();
        QVERIFY(f.isVisible());
        QVERIFY(f.UnsavedLog);
        const auto msgs = w.platform.callsOf(QStringLiteral("message"));
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].text, kSaveQuestion);
        QCOMPARE(msgs[0].title, QStringLiteral("名前を付けて保存"));
        QCOMPARE(msgs[0].icon, MsgIcon::Information);
        QCOMPARE(msgs[0].buttons, MsgButtons::YesNoCancel);

        // Escape asks the same question; No closes.
        w.platform.answerMessage(MsgAnswer::No);
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(!f.isVisible());
        QCOMPARE(w.platform.callsOf(QStringLiteral("message")).size(), 2);
        VERIFY_PLATFORM(w.platform);
    }
    {
        // After a save: no question.
        w.platform.reset();
        frmLog f(w.ctx);
        f.show();
        w.platform.answerSave(w.path(QStringLiteral("copy.log")));
        f.fileSaveAs_Click();
        QVERIFY(!f.UnsavedLog);
        f.mnuClose_Click();
        QVERIFY(!f.isVisible());
        QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
        VERIFY_PLATFORM(w.platform);
    }
    {
        // After opening another file: no question.
        w.platform.reset();
        const QString other = w.path(QStringLiteral("other.log"));
        writeBytes(other, logBytes(kThreeRecords.mid(0, 2)));
        frmLog f(w.ctx);
        f.show();
        w.platform.answerOpen({other});
        f.mnuFileOpen_Click();
        QVERIFY(!f.UnsavedLog);
        f.close();
        QVERIFY(!f.isVisible());
        QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
        VERIFY_PLATFORM(w.platform);
    }
}

void TestLogView::yesOnTheClosingQuestionSavesThenCloses()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    const QString target = w.path(QStringLiteral("kept.log"));
    {
        frmLog f(w.ctx);
        f.show();
        w.platform.answerMessage(MsgAnswer::Yes);
        w.platform.answerSave(target);
        f.close();
        QVERIFY(!f.isVisible());
        QCOMPARE(readBytes(target), logBytes(kThreeRecords));
        VERIFY_PLATFORM(w.platform);
    }
    {
        // Yes, then the save dialog cancelled: the window still closes.
        w.platform.reset();
        frmLog f(w.ctx);
        f.show();
        w.platform.answerMessage(MsgAnswer::Yes);
        w.platform.answerSave(QString());
        f.close();
        QVERIFY(!f.isVisible());
        QCOMPARE(w.platform.callsOf(QStringLiteral("save")).size(), 1);
        VERIFY_PLATFORM(w.platform);
    }
}

void TestLogView::saveAfterOpeningAnotherFileCopiesTheApplicationLog()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    const QString other = w.path(QStringLiteral("older.log"));
    const QStringList otherLines = {
        QStringLiteral("別人,b@example.jp,mail.example.jp,秋の案内,2004/10/01 10:00:00"),
        QStringLiteral("田中,,tanaka@example.jp,送信済,2004/10/01 10:00:01"),
    };
    writeBytes(other, logBytes(otherLines));

    frmLog f(w.ctx);
    w.platform.answerOpen({other});
    f.mnuFileOpen_Click();
    const auto open = w.platform.callsOf(QStringLiteral("open"));
    QCOMPARE(open.size(), 1);
    QCOMPARE(open[0].title, QStringLiteral("ファイルを開く"));
    QVERIFY(open[0].file.mustExist);
    QVERIFY(open[0].file.fileName.isEmpty());
    QCOMPARE(open[0].file.filterIndex, 2);
    QCOMPARE(open[0].file.filters.size(), 2);
    QCOMPARE(open[0].file.filters[0], qMakePair(QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")));
    QCOMPARE(open[0].file.filters[1], qMakePair(QStringLiteral("log ﾌｧｲﾙ (*.log)"), QStringLiteral("*.log")));

    QCOMPARE(f.MSFlexGrid1->rowCount(), 1);
    QCOMPARE(f.MSFlexGrid1->item(0, 0)->text(), QStringLiteral("田中"));
    QCOMPARE(f.Text1->text(), QStringLiteral("秋の案内"));
    QCOMPARE(f.LogFilePath, appLog(w));

    const QString target = w.path(QStringLiteral("saved.log"));
    w.platform.answerSave(target);
    f.fileSaveAs_Click();
    const auto save = w.platform.callsOf(QStringLiteral("save"));
    QCOMPARE(save.size(), 1);
    QCOMPARE(save[0].title, QStringLiteral("名前を付けて保存"));
    QCOMPARE(save[0].file.fileName, QStringLiteral("秋の案内"));
    QCOMPARE(save[0].file.filters.size(), 1);
    QCOMPARE(save[0].file.filters[0].second, QStringLiteral("*.log"));
    QCOMPARE(readBytes(target), logBytes(kThreeRecords));
    QCOMPARE(readBytes(other), logBytes(otherLines));

    // A cancelled open dialog changes nothing.
    w.platform.answerOpen({});
    f.mnuFileOpen_Click();
    QCOMPARE(f.Text1->text(), QStringLiteral("秋の案内"));
    QCOMPARE(f.MSFlexGrid1->rowCount(), 1);

    // An opened file that ends inside a record: its rows so far, no message,
    // none of the earlier file's header over them, and the closing question
    // as it was.
    f.UnsavedLog = true;
    const QString cut = w.path(QStringLiteral("cut.log"));
    writeBytes(cut, sjis(QStringLiteral("a,b,c,d,e\r\n1,2,3,4,5\r\n6,7\r\n")));
    w.platform.answerOpen({cut});
    f.mnuFileOpen_Click();
    QCOMPARE(f.MSFlexGrid1->rowCount(), 1);
    QCOMPARE(f.Text1->text(), QStringLiteral("d"));
    QVERIFY(f.UnsavedLog);
    VERIFY_PLATFORM(w.platform);
}

void TestLogView::saveAsksBeforeReplacingAndReportsFailures()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    const QString target = w.path(QStringLiteral("exists.log"));
    writeBytes(target, "keep me");

    frmLog f(w.ctx);
    w.platform.answerSave(target);
    w.platform.answerMessage(MsgAnswer::No);
    f.fileSaveAs_Click();
    QCOMPARE(readBytes(target), QByteArray("keep me"));
    QVERIFY(f.UnsavedLog);
    auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QVERIFY(msgs[0].text.contains(QStringLiteral("exists.log")));
    QCOMPARE(msgs[0].buttons, MsgButtons::YesNo);

    w.platform.answerSave(target);
    w.platform.answerMessage(MsgAnswer::Yes);
    f.fileSaveAs_Click();
    QCOMPARE(readBytes(target), logBytes(kThreeRecords));
    QVERIFY(!f.UnsavedLog);

    // A copy that cannot be written is reported, and the log counts as unsaved.
    f.UnsavedLog = true;
    w.platform.reset();
    w.platform.answerSave(w.path(QStringLiteral("no/such/folder/x.log")));
    f.fileSaveAs_Click();
    msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].icon, MsgIcon::Critical);
    QVERIFY(f.UnsavedLog);
    QVERIFY(!QFileInfo::exists(w.path(QStringLiteral("no/such/folder/x.log"))));

    // Saving onto the log itself keeps it whole and asks nothing.
    w.platform.reset();
    w.platform.answerSave(appLog(w));
    f.fileSaveAs_Click();
    QCOMPARE(readBytes(appLog(w)), logBytes(kThreeRecords));
    QVERIFY(!f.UnsavedLog);
    VERIFY_PLATFORM(w.platform);
}

void TestLogView::windowStateIsStoredUnlessMinimised()
{
    TestWorld w;
    const QString key = QStringLiteral("frmLogWindow");
    {
        frmLog f(w.ctx);
        QVERIFY(!(f.windowState() & Qt::WindowMaximized));
        f.show();
        f.setWindowState(Qt::WindowMaximized);
        f.close();
    }
    w.reopenSettings();
    QCOMPARE(w.settings->value(key), QStringLiteral("2"));
    {
        frmLog f(w.ctx);
        QVERIFY(f.windowState() & Qt::WindowMaximized);
        f.show();
        f.setWindowState(Qt::WindowMinimized);
        f.close();
    }
    w.reopenSettings();
    QCOMPARE(w.settings->value(key), QStringLiteral("2"));
    {
        frmLog f(w.ctx);
        QVERIFY(f.windowState() & Qt::WindowMaximized);
        f.show();
        f.setWindowState(Qt::WindowNoState);
        f.close();
    }
    w.reopenSettings();
    QCOMPARE(w.settings->value(key), QStringLiteral("0"));
    {
        w.settings->setValue(key, QStringLiteral("abc"));
        frmLog f(w.ctx);
        QVERIFY(!(f.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
    }
    VERIFY_PLATFORM(w.platform);
}

void TestLogView::sixFieldRecordShiftsLaterRowsAndDropsTheShortLast()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes({
                              kThreeRecords.at(0),
                              QStringLiteral("一,,one@example.jp,送信済,t1"),
                              QStringLiteral("二,,two@example.jp,送信エラー,x y z,t2"),
                              QStringLiteral("三,,three@example.jp,送信済,t3"),
                              QStringLiteral("四,,four@example.jp,送信済,t4"),
                          }));
    frmLog f(w.ctx);
    QTableWidget *g = f.MSFlexGrid1;
    QCOMPARE(g->rowCount(), 4);
    QCOMPARE(rowOf(g, 0), QStringList({"一", "", "one@example.jp", "送信済", "t1"}));
    QCOMPARE(rowOf(g, 1), QStringList({"二", "", "two@example.jp", "送信エラー", "x y z"}));
    QCOMPARE(rowOf(g, 2), QStringList({"t2", "三", "", "three@example.jp", "送信済"}));
    QCOMPARE(rowOf(g, 3), QStringList({"t3", "四", "", "four@example.jp", "送信済"}));
    QVERIFY(!f.UnsavedLog);
    f.show();
    f.close();
    QVERIFY(!f.isVisible());
    QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
    VERIFY_PLATFORM(w.platform);
}

void TestLogView::missingOrBrokenLogAsksNothing()
{
    {
        TestWorld w;
        frmLog f(w.ctx);
        QCOMPARE(f.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(f.MSFlexGrid1->horizontalHeaderItem(0)->text(), QStringLiteral("Name1"));
        QVERIFY(f.Text1->text().isEmpty());
        QVERIFY(f.Text2->text().isEmpty());
        QVERIFY(f.sbPanel1->text().isEmpty());
        QVERIFY(!f.UnsavedLog);
        f.show();
        f.close();
        QVERIFY(!f.isVisible());
        QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
        VERIFY_PLATFORM(w.platform);
    }
    {
        // Not CP932 in the third record: two rows, no message, no question.
        TestWorld w;
        QByteArray bytes = logBytes(kThreeRecords.mid(0, 3));
        bytes += QByteArray("\xff\xfe,,x@example.jp,") + sjis(QStringLiteral("送信済")) + ",t\r\n";
        writeBytes(appLog(w), bytes);
        frmLog f(w.ctx);
        QCOMPARE(f.MSFlexGrid1->rowCount(), 2);
        QCOMPARE(f.Text1->text(), QStringLiteral("春の案内"));
        QVERIFY(!f.UnsavedLog);
        f.show();
        f.close();
        QVERIFY(!f.isVisible());
        QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
        VERIFY_PLATFORM(w.platform);
    }
}

void TestLogView::openedFromTheMainWindowAndMenusAreWired()
{
    TestWorld w;
    writeBytes(appLog(w), logBytes(kThreeRecords));
    QWidget owner;
    int rowsSeen = -1;
    w.platform.answerModal(QStringLiteral("frmLog"), [&](QWidget *win) {
        auto *f = qobject_cast<frmLog *>(win);
        QVERIFY(f);
        QCOMPARE(f->parentWidget(), &owner);
        rowsSeen = f->MSFlexGrid1->rowCount();
        QCOMPARE(f->mnuFile->title(), QStringLiteral("ﾌｧｲﾙ(&F)"));
        QCOMPARE(f->mnuHelp->title(), QStringLiteral("ﾍﾙﾌﾟ(&H)"));
        QCOMPARE(f->mnuFileOpen->text(), QStringLiteral("送信済ログファイルを開く(&O)"));
        QCOMPARE(f->fileSaveAs->text(), QStringLiteral("送信済ログファイルを保存(&S)"));
        QCOMPARE(f->mnuClose->text(), QStringLiteral("閉じる(&X)"));
        QCOMPARE(f->mnuHelpOpen->text(), QStringLiteral("目次＆ｷｰﾜｰﾄﾞ(&C)"));
        f->mnuHelpOpen->trigger();
        f->fileSaveAs->trigger(); // answered with cancel below
        f->mnuClose->trigger();   // the question: No
        QVERIFY(!f->isVisible());
    });
    w.platform.answerSave(QString());
    w.platform.answerMessage(MsgAnswer::No);
    w.platform.setBusy(true);
    showLogViewer(w.ctx, &owner);
    QCOMPARE(rowsSeen, 3);
    QCOMPARE(w.platform.busyDepth, 0);
    const auto help = w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 1);
    QCOMPARE(QUrl(help[0].text).toLocalFile(),
             joinProgramFolder(w.platform.helpFolder(), QStringLiteral("Quillpost.html")));
    QCOMPARE(QUrl(help[0].text).fragment(), QStringLiteral("log"));
    QCOMPARE(w.settings->value(QStringLiteral("frmLogWindow")), QStringLiteral("0"));
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
