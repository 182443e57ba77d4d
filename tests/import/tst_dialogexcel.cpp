// The import window over a real database file and real CP932 files, with
// the scripted platform.

#include "addressdb.h"
#include "apptitle.h"
#include "dbstatement.h"
#include "dialogexcel.h"
#include "importgridmodel.h"
#include "importwindow.h"
#include "testutil.h"
#include "textcodec.h"
#include "textfile.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QtTest>

namespace {

const QString kFailure = QStringLiteral("インポートに失敗しました。データ形式、配列を確認してください。");

int countRows(AddressDb &db, const char *where = "")
{
    DbStatement st(db, QByteArray("SELECT count(*) FROM 宛先 ") + where);
    return st.step() == DbStatement::Row ? int(st.int64(0)) : -1;
}

QStringList column(AddressDb &db, const char *col)
{
    QStringList out;
    DbStatement st(db, QByteArray("SELECT ") + col + " FROM 宛先 ORDER BY 宛先ID");
    while (st.step() == DbStatement::Row)
        out << st.text(0);
    return out;
}

int heightTwips(QWidget *w)
{
    return pxToTwips(w->height());
}

// One world with a database open as the address book would hold it.
struct Fixture {
    Fixture()
    {
        QVERIFY(db.open(w.path("book.cdb"), true));
        w.ctx.addressDb = &db;
    }
    QString csv(const char *name, const QString &text)
    {
        const QString p = w.path(QString::fromLatin1(name));
        writeBytes(p, sjis(text));
        return p;
    }
    TestWorld w;
    AddressDb db;
};

// A window below the import window, to see it activated again.
class Owner : public QWidget {
    Q_OBJECT
public:
    int activations = 0;
public slots:
    void Form_Activate() { ++activations; }
};

} // namespace

class tst_DialogExcel : public QObject {
    Q_OBJECT
private slots:
    void loadsAndStoresPosition();
    void previewOfOneCleanLine();
    void previewWithRejectedRowsAndDuplicates();
    void addressTheSendRefusesIsARejectedRow_data();
    void addressTheSendRefusesIsARejectedRow();
    void previewFailures();
    void commitChecksAndStores();
    void cancelAndClose();
    void fileChoiceAndSpreadsheet();
    void printing();
    void helpAndPrinterSetup();
};

void tst_DialogExcel::loadsAndStoresPosition()
{
    Fixture f;
    f.w.settings->setValue(QStringLiteral("DialogLeft"), QStringLiteral("1500"));
    f.w.settings->setValue(QStringLiteral("DialogTop"), QStringLiteral("3000"));
    DialogExcel dlg(f.w.ctx);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("宛先のｲﾝﾎﾟｰﾄ  ｶﾝﾏ区切（CSV）形式のﾃｷｽﾄﾌｧｲﾙから宛先のｲﾝﾎﾟｰﾄ"));
    QCOMPARE(dlg.pos(), QPoint(100, 200));
    QVERIFY(dlg.MSFlexGrid2->isHidden());
    QVERIFY(dlg.Label3->isHidden());
    QVERIFY(dlg.Text1->isHidden());
    QVERIFY(!dlg.mnuPrint->isEnabled());
    QCOMPARE(heightTwips(dlg.MSFlexGrid1), 3855);
    QCOMPARE(dlg.grid1()->gridRows(), 1);
    QCOMPARE(dlg.grid1()->textMatrix(0, 1), QStringLiteral("宛先２"));
    QCOMPARE(dlg.MSFlexGrid1->columnWidth(2), twipsToPx(3000));

    dlg.show();
    dlg.move(300, 45);
    dlg.mnuEnd_Click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(f.w.settings->value(QStringLiteral("DialogLeft")), QStringLiteral("4500"));
    QCOMPARE(f.w.settings->value(QStringLiteral("DialogTop")), QStringLiteral("675"));
}

void tst_DialogExcel::previewOfOneCleanLine()
{
    Fixture f;
    DialogExcel dlg(f.w.ctx);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.txtFileName->setText(f.csv("one.csv", QStringLiteral("山田太郎,営業部,Taro@Example.jp\r\n")));
    // Through the real button once.
    QTest::mouseClick(dlg.Command5, Qt::LeftButton);

    QCOMPARE(dlg.Label2->text(), QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　1件"));
    QCOMPARE(dlg.Label5->text(), QStringLiteral("二重登録されているﾒｰﾙｱﾄﾞﾚｽ 0件"));
    QVERIFY(dlg.MSFlexGrid2->isHidden());
    QVERIFY(dlg.Label3->isHidden());
    QCOMPARE(heightTwips(dlg.MSFlexGrid1), 3855);
    QCOMPARE(dlg.grid1()->gridRows(), 2);
    QCOMPARE(dlg.grid1()->textMatrix(1, 2), QStringLiteral("taro@example.jp"));
    QCOMPARE(dlg.list1Items(), QStringList{QStringLiteral("taro@example.jp")});
    QVERIFY(dlg.list2Items().isEmpty());
    QCOMPARE(f.w.sendList.count(), 1);
    QCOMPARE(f.w.sendList.entry(0).name1, QStringLiteral("山田太郎"));
    QCOMPARE(f.w.sendList.entry(0).address, QStringLiteral("taro@example.jp"));
    QVERIFY(dlg.mnuPrint->isEnabled());
    QVERIFY(dlg.Text2->hasFocus());
    QCOMPARE(f.w.platform.busyDepth, 0);
    QVERIFY(f.w.platform.busyLog.contains(QStringLiteral("on")));
    QCOMPARE(countRows(f.db), 0); // the preview writes nothing
    VERIFY_PLATFORM(f.w.platform);
}

void tst_DialogExcel::previewWithRejectedRowsAndDuplicates()
{
    Fixture f;
    f.w.sendList.append(QStringLiteral("old"), QString(), QStringLiteral("old@x"));
    DialogExcel dlg(f.w.ctx);
    dlg.txtFileName->setText(f.csv("dup.csv", QStringLiteral("宛先1,宛先2,メールアドレス\r\n"
                                                             "佐藤花子,経理部,ＳＡＭＥ＠ＥＸＡＭＰＬＥ．ＪＰ\r\n"
                                                             "Tab\tName,営業部,other@example.jp\r\n"
                                                             "鈴木一郎,,same@example.jp\r\n"
                                                             "高橋次郎,電話のみ,03-1234-5678\r\n"
                                                             "田中,,Same@Example.JP\r\n")));
    dlg.mnuInport->trigger();

    QCOMPARE(dlg.grid1()->gridRows(), 5);
    QCOMPARE(dlg.grid2()->gridRows(), 2);
    QCOMPARE(dlg.grid2()->textMatrix(1, 2), QStringLiteral("03-1234-5678"));
    // A tab stays inside its cell.
    QCOMPARE(dlg.grid1()->textMatrix(2, 0), QStringLiteral("Tab\tName"));
    QCOMPARE(dlg.grid1()->textMatrix(2, 1), QStringLiteral("営業部"));
    QCOMPARE(dlg.Label2->text(), QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　4件"));
    QCOMPARE(dlg.Label3->text(), QStringLiteral("ｲﾝﾎﾟｰﾄしなかった宛先　2件"));
    QVERIFY(!dlg.Label3->isHidden());
    QVERIFY(!dlg.MSFlexGrid2->isHidden());
    QCOMPARE(heightTwips(dlg.MSFlexGrid1), 3375);
    QCOMPARE(dlg.Label5->text(), QStringLiteral("二重登録されているﾒｰﾙｱﾄﾞﾚｽ 2件"));
    QCOMPARE(dlg.list2Items(), QStringList({QStringLiteral("same@example.jp"), QStringLiteral("same@example.jp")}));
    QCOMPARE(dlg.list1Items().size(), 4);
    QCOMPARE(f.w.sendList.count(), 4);
    QCOMPARE(f.w.sendList.entry(0).name1, QStringLiteral("佐藤花子"));

    // The first row in file order that carries the address.
    dlg.List2->setCurrentIndex(dlg.List2->model()->index(1, 0));
    dlg.List2_Click();
    QVERIFY(!dlg.Text1->isHidden());
    QCOMPARE(dlg.Text1->text(), QStringLiteral("佐藤花子"));

    // A new preview without rejected rows hides the name and the grid again.
    dlg.txtFileName->setText(f.csv("clean.csv", QStringLiteral("a,b,a@x\r\n")));
    dlg.Command5_Click();
    QVERIFY(dlg.Text1->isHidden());
    QCOMPARE(dlg.Text1->text(), QString());
    QVERIFY(dlg.MSFlexGrid2->isHidden());
    QVERIFY(dlg.Label3->isHidden());
    QCOMPARE(heightTwips(dlg.MSFlexGrid1), 3855);
    QCOMPARE(f.w.sendList.count(), 1);
    VERIFY_PLATFORM(f.w.platform);
}

void tst_DialogExcel::addressTheSendRefusesIsARejectedRow_data()
{
    QTest::addColumn<QString>("field"); // the address as the file holds it
    QTest::addColumn<QString>("shown"); // in the rejected grid, normalised
    QTest::addColumn<QString>("why");
    const QString tooLong = QString(250, u'a') + QStringLiteral("@example.jp");
    QTest::newRow("blank") << "taro @example.jp"
                           << "taro @example.jp"
                           << "空白が含まれています";
    QTest::newRow("two at signs") << "a@b@example.jp"
                                  << "a@b@example.jp"
                                  << "「@」がひとつではありません";
    QTest::newRow("nothing before @") << "＠Example.jp"
                                      << "@example.jp"
                                      << "「@」の前か後が空です";
    QTest::newRow("control character") << "taro\t@example.jp"
                                       << "taro\t@example.jp"
                                       << "制御文字";
    QTest::newRow("comma") << "\"taro,hanako@example.jp\""
                           << "taro,hanako@example.jp"
                           << "カンマが含まれています";
    QTest::newRow("over 254 octets") << tooLong << tooLong << "254 バイトを超えています";
    // Cut to the column's 50 characters it would be another address.
    const QString overColumn = QString(40, u'b') + QStringLiteral("@example.jp");
    QTest::newRow("longer than the column") << overColumn << overColumn << "50 文字を超えていて";
    QTest::newRow("invalid domain") << "taro@-日本.jp"
                                    << "taro@-日本.jp"
                                    << "ドメイン名が正しくありません";
}

void tst_DialogExcel::addressTheSendRefusesIsARejectedRow()
{
    QFETCH(QString, field);
    QFETCH(QString, shown);
    QFETCH(QString, why);
    Fixture f;
    DialogExcel dlg(f.w.ctx);
    dlg.txtFileName->setText(
        f.csv("refused.csv", QStringLiteral("良子,,good@example.jp\r\n悪子,営業部,") + field + QStringLiteral("\r\n")));
    dlg.Command5_Click();

    QCOMPARE(dlg.Label2->text(), QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　1件"));
    QCOMPARE(dlg.Label3->text(), QStringLiteral("ｲﾝﾎﾟｰﾄしなかった宛先　1件"));
    QVERIFY(!dlg.MSFlexGrid2->isHidden());
    QCOMPARE(dlg.grid2()->gridRows(), 1);
    QCOMPARE(dlg.grid2()->textMatrix(0, 0), QStringLiteral("悪子"));
    QCOMPARE(dlg.grid2()->textMatrix(0, 2), shown);
    // The grid keeps its three columns; the tip says why.
    QCOMPARE(dlg.grid2()->columnCount(), 3);
    const QString tip = dlg.grid2()->index(0, 1).data(Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith(QStringLiteral("営業部\nメールアドレスが使えません（")) && tip.contains(why),
             qPrintable(tip));
    QCOMPARE(dlg.grid1()->gridRows(), 2);
    QCOMPARE(dlg.list1Items(), QStringList{QStringLiteral("good@example.jp")});
    QCOMPARE(f.w.sendList.count(), 1);
    QCOMPARE(f.w.sendList.entry(0).address, QStringLiteral("good@example.jp"));

    dlg.Text2->setText(QStringLiteral("規則"));
    dlg.Command1_Click();
    QCOMPARE(column(f.db, "メールアドレス"), QStringList{QStringLiteral("good@example.jp")});
    VERIFY_PLATFORM(f.w.platform);
}

void tst_DialogExcel::previewFailures()
{
    Fixture f;
    DialogExcel dlg(f.w.ctx);
    dlg.txtFileName->setText(f.csv("good.csv", QStringLiteral("a,b,a@x\r\nc,d,c@x\r\n")));
    dlg.Command5_Click();
    QCOMPARE(dlg.Label2->text(), QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　2件"));

    // A line with two fields shifts the reading; the file then ends inside
    // a record.
    const QString shifted = f.csv("shifted.csv", QStringLiteral("e,f,e@x\r\ng,h\r\ni@x,j,no-at\r\n"));
    dlg.txtFileName->setText(shifted);
    dlg.Command5_Click();
    QCOMPARE(f.w.platform.messageTexts(), QStringList{kFailure});
    const PlatformCall msg = f.w.platform.callsOf(QStringLiteral("message")).value(0);
    QCOMPARE(msg.title, QStringLiteral("Information"));
    QCOMPARE(msg.icon, MsgIcon::Information);
    QCOMPARE(f.w.platform.callsOf(QStringLiteral("shell")).value(0).text, shifted);
    QCOMPARE(dlg.grid1()->gridRows(), 1);
    // What was read before the failure stays in the send list.
    QCOMPARE(f.w.sendList.count(), 2);
    QCOMPARE(f.w.sendList.entry(1).address, QStringLiteral("i@x"));
    QCOMPARE(dlg.Label2->text(), QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　2件"));
    QCOMPARE(f.w.platform.busyDepth, 0);

    // A commit after the failure takes nothing from the cleared grid.
    dlg.Text2->setText(QStringLiteral("失敗後"));
    dlg.Command1_Click();
    QCOMPARE(countRows(f.db), 0);

    // Bytes that are neither UTF-8 nor CP932: said so, no garbled names.
    Fixture g;
    DialogExcel dlg2(g.w.ctx);
    const QString bad = g.w.path("bad.csv");
    writeBytes(bad, sjis(QStringLiteral("山田,")) + QByteArray("\x81\x20,a@x\r\n"));
    dlg2.txtFileName->setText(bad);
    dlg2.Command5_Click();
    QCOMPARE(g.w.platform.messageTexts(), QStringList{QStringLiteral("文字コードを判別できません。\n") + bad});
    QCOMPARE(g.w.sendList.count(), 0);
    QCOMPARE(dlg2.grid2()->gridRows(), 0);

    // A UTF-8 file with its byte-order mark reads as UTF-8.
    const QString utf8 = g.w.path("utf8.csv");
    writeBytes(utf8,
               QByteArray("\xEF\xBB\xBF") + QStringLiteral("山田太郎,ﾔﾏﾀﾞ,ｙａｍａｄａ＠example.jp\r\n").toUtf8());
    dlg2.txtFileName->setText(utf8);
    dlg2.Command5_Click();
    QCOMPARE(g.w.platform.messageTexts().size(), 1);
    QCOMPARE(g.w.sendList.count(), 1);
    QCOMPARE(g.w.sendList.entry(0).name1, QStringLiteral("山田太郎"));
    QCOMPARE(g.w.sendList.entry(0).name2, QStringLiteral("ﾔﾏﾀﾞ"));
    QCOMPARE(g.w.sendList.entry(0).address, QStringLiteral("yamada@example.jp"));

    // An empty file name does nothing at all.
    dlg2.txtFileName->clear();
    g.w.platform.reset();
    dlg2.Command5_Click();
    QVERIFY(g.w.platform.calls.isEmpty());
    QCOMPARE(g.w.sendList.count(), 1);

    // A line too long to hold: its number and the file are named, and the
    // file is not handed to another program.
    const QString longLine = g.w.path("long.csv");
    writeBytes(longLine, "a,,a@x\r\n" + QByteArray(kMaxLineBytes + 1, 'x') + "\r\n");
    dlg2.txtFileName->setText(longLine);
    dlg2.Command5_Click();
    QCOMPARE(g.w.platform.messageTexts(),
             QStringList{QStringLiteral("2 行目が長すぎます（64 KB まで）。\n") + longLine});
    QVERIFY(g.w.platform.callsOf(QStringLiteral("shell")).isEmpty());
    QCOMPARE(g.w.sendList.count(), 1);
}

void tst_DialogExcel::commitChecksAndStores()
{
    Fixture f;
    QVERIFY(
        f.db.exec(QStringLiteral("INSERT INTO 宛先 VALUES (41, 1, 'O''Neil''s', 'x', '', 'x@x', '2005/03/01', NULL)")));
    const QString sixty = QString(60, QChar(0x4E00));
    DialogExcel dlg(f.w.ctx);
    dlg.show();
    dlg.txtFileName->setText(f.csv("c.csv", sixty + QStringLiteral(",営業部 ,A@X\r\nb,,same@x\r\nc,,same@x\r\n")));
    dlg.Command5_Click();
    QCOMPARE(f.w.sendList.entry(0).name1, sixty);

    // No category name.
    dlg.Command1_Click();
    QCOMPARE(f.w.platform.messageTexts(), QStringList{QStringLiteral("インポート区分名を入力してください。")});
    QCOMPARE(f.w.platform.calls.last().title, QStringLiteral("Information"));
    QVERIFY(dlg.isVisible());

    // A name already in the table, apostrophes and all.
    dlg.Text2->setText(QStringLiteral("O'Neil's"));
    dlg.Command1_Click();
    QCOMPARE(f.w.platform.messageTexts().value(1),
             QStringLiteral("インポート区分名が重複しています。インポート区分名を変更してください。"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(countRows(f.db), 1);

    dlg.Text2->setText(QStringLiteral("O'Neil's 2"));
    QTest::mouseClick(dlg.Command1, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(f.w.platform.messageTexts().size(), 2);
    QCOMPARE(column(f.db, "宛先ID"), QStringList({"41", "42", "43", "44"}));
    QCOMPARE(column(f.db, "宛先1").value(1), QString(50, QChar(0x4E00)));
    QCOMPARE(column(f.db, "宛先2").value(1), QStringLiteral("営業部"));
    QCOMPARE(column(f.db, "メールアドレス").mid(1), QStringList({"a@x", "same@x", "same@x"}));
    QCOMPARE(column(f.db, "登録日").value(3), QStringLiteral("2005/04/01"));
    QCOMPARE(countRows(f.db, "WHERE インポート区分名 = 'O''Neil''s 2' AND 送信区分 = 1"), 3);
    // The send list keeps the previewed rows.
    QCOMPARE(f.w.sendList.count(), 3);

    // An empty preview stores nothing and closes the window.
    Fixture g;
    DialogExcel empty(g.w.ctx);
    empty.show();
    empty.Text2->setText(QStringLiteral("空"));
    empty.Command1_Click();
    QVERIFY(!empty.isVisible());
    QCOMPARE(countRows(g.db), 0);
    VERIFY_PLATFORM(g.w.platform);

    // Rows the database refuses are counted after the others are stored.
    Fixture h;
    QVERIFY(h.db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON 宛先 WHEN NEW.宛先1 = 'no' "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END;")));
    DialogExcel refused(h.w.ctx);
    refused.txtFileName->setText(h.csv("r.csv", QStringLiteral("no,,a@x\r\nyes,,b@x\r\nno,,c@x\r\n")));
    refused.Command5_Click();
    refused.Text2->setText(QStringLiteral("一部"));
    refused.Command1_Click();
    QCOMPARE(h.w.platform.messageTexts(),
             QStringList{QStringLiteral("2件の宛先をデータベースに登録できませんでした。")});
    QCOMPARE(column(h.db, "宛先1"), QStringList{QStringLiteral("yes")});
    QCOMPARE(column(h.db, "宛先ID"), QStringList{QStringLiteral("1")});
}

void tst_DialogExcel::cancelAndClose()
{
    Fixture f;
    const QString path = f.csv("a.csv", QStringLiteral("a,b,a@x\r\nc,d,c@x\r\n"));
    Owner owner;
    auto preview = [&](QWidget *w) {
        auto *d = static_cast<DialogExcel *>(w);
        d->txtFileName->setText(path);
        d->Command5_Click();
    };

    // Cancel empties the send list that the preview filled.
    f.w.platform.answerModal(QStringLiteral("DialogExcel"), [&](QWidget *w) {
        preview(w);
        QCOMPARE(f.w.sendList.count(), 2);
        static_cast<DialogExcel *>(w)->Command3->click();
    });
    showImportWindow(f.w.ctx, &owner);
    QCOMPARE(f.w.sendList.count(), 0);
    QCOMPARE(owner.activations, 1);

    // Closing by the menu keeps it.
    f.w.platform.answerModal(QStringLiteral("DialogExcel"), [&](QWidget *w) {
        preview(w);
        static_cast<DialogExcel *>(w)->mnuEnd->trigger();
    });
    showImportWindow(f.w.ctx, &owner);
    QCOMPARE(f.w.sendList.count(), 2);

    // And so does the close box.
    f.w.sendList.clear();
    f.w.platform.answerModal(QStringLiteral("DialogExcel"), [&](QWidget *w) {
        preview(w);
        w->close();
    });
    showImportWindow(f.w.ctx, &owner);
    QCOMPARE(f.w.sendList.count(), 2);
    QCOMPARE(owner.activations, 3);
    QCOMPARE(countRows(f.db), 0);
    VERIFY_PLATFORM(f.w.platform);
}

void tst_DialogExcel::fileChoiceAndSpreadsheet()
{
    Fixture f;
    const QString path = f.csv("pick.csv", QStringLiteral("a,b,a@x\r\n"));
    DialogExcel dlg(f.w.ctx);

    // Cancelled: nothing changes.
    f.w.platform.answerOpen({});
    dlg.Command2_Click();
    QCOMPARE(dlg.txtFileName->text(), QString());

    // Chosen: the preview runs at once.
    f.w.platform.answerOpen({path});
    dlg.mnuExcel->trigger();
    const PlatformCall open = f.w.platform.callsOf(QStringLiteral("open")).value(1);
    QCOMPARE(open.title, QStringLiteral("開く"));
    QCOMPARE(open.file.filters.size(), 2);
    QCOMPARE(open.file.filters.at(0), qMakePair(QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")));
    QCOMPARE(open.file.filters.at(1), qMakePair(QStringLiteral("csv ﾌｧｲﾙ (*.csv)"), QStringLiteral("*.csv")));
    QCOMPARE(open.file.filterIndex, 2);
    QCOMPARE(dlg.txtFileName->text(), path);
    QCOMPARE(f.w.sendList.count(), 1);

    // The spreadsheet with no file name asks for one and runs no preview.
    Fixture g;
    const QString other = g.csv("other.csv", QStringLiteral("x,y,x@y\r\n"));
    DialogExcel dlg2(g.w.ctx);
    g.w.platform.answerOpen({other});
    QTest::mouseClick(dlg2.Command4, Qt::LeftButton);
    QCOMPARE(dlg2.txtFileName->text(), other);
    QCOMPARE(g.w.platform.callsOf(QStringLiteral("shell")).value(0).text, other);
    QCOMPARE(g.w.sendList.count(), 0);
    QVERIFY(!dlg2.mnuPrint->isEnabled());
    // With a name it opens straight away.
    dlg2.mnuExcelOpen->trigger();
    QCOMPARE(g.w.platform.callsOf(QStringLiteral("shell")).size(), 2);
    QCOMPARE(g.w.platform.callsOf(QStringLiteral("open")).size(), 1);
    QCOMPARE(g.w.platform.busyDepth, 0);
    VERIFY_PLATFORM(f.w.platform);
    VERIFY_PLATFORM(g.w.platform);
}

void tst_DialogExcel::printing()
{
    Fixture f;
    QString text = QStringLiteral(",二行目,empty@x\r\n");
    text += QString(31, QChar(0x6F22)) + QStringLiteral(",,long@x\r\n");
    text += QStringLiteral("no at sign,,nowhere\r\nrefused,,taro @example.jp\r\n");
    for (int i = 3; i <= 21; ++i)
        text += QStringLiteral("name%1,,ADDR%1@X\r\n").arg(i);
    DialogExcel dlg(f.w.ctx);
    dlg.txtFileName->setText(f.csv("p.csv", text));

    f.w.platform.answerPrintDialog(false);
    dlg.mnuPrint_Click();
    QVERIFY(f.w.platform.printed.isEmpty());
    QVERIFY(f.w.platform.callsOf(QStringLiteral("printJob")).isEmpty());

    f.w.platform.answerPrintDialog(true);
    dlg.mnuPrint_Click();
    QCOMPARE(f.w.platform.callsOf(QStringLiteral("print")).value(1).title, QStringLiteral("印刷"));
    const QStringList ops = f.w.platform.printed;
    QCOMPARE(ops.first(), QStringLiteral("font:ＭＳ 明朝"));
    // No footer and no filler: the last record's lines end the document.
    QCOMPARE(ops.mid(ops.size() - 3),
             QStringList({QStringLiteral("line:"), QStringLiteral("underline:0"), QStringLiteral("enddoc")}));
    QCOMPARE(ops.count(QStringLiteral("newpage")), 1);
    QVERIFY(ops.contains(QStringLiteral("line:") + QString(96, QLatin1Char(' ')) + QStringLiteral("Page 2")));
    const QString heading = QStringLiteral("line:") + QString(5, QChar(0x3000)) + QStringLiteral("おなまえ")
                            + QString(9, QChar(0x3000)) + QString(5, QLatin1Char(' ')) + QString(8, QChar(0x3000))
                            + QStringLiteral("メールアドレス") + QString(11, QChar(0x3000))
                            + QString(11, QLatin1Char(' ')) + QString(12, QChar(0x3000));
    QCOMPARE(ops.count(heading), 2);
    QCOMPARE(ops.count(QStringLiteral("line:") + QString(57, QChar(0x3000))), 2);
    // Page 2 holds the 21st record only.
    const qsizetype page2 = ops.indexOf(QStringLiteral("newpage"));
    const QStringList page2Rows = ops.mid(page2).filter(QStringLiteral("@x"));
    QCOMPARE(page2Rows.size(), 1);
    QVERIFY(page2Rows.first().startsWith(QStringLiteral("line:　　name21 ")));
    QVERIFY(page2Rows.first().endsWith(QStringLiteral("addr21@x")));
    QVERIFY(ops.filter(QStringLiteral("nowhere")).isEmpty());
    QVERIFY(ops.filter(QStringLiteral("taro @")).isEmpty());

    // The address column is the same for an empty name, a short one and a
    // name longer than sixty columns (cut whole characters).
    auto addressColumn = [&](const QString &address) {
        const QString line = ops.filter(address).value(0).mid(5);
        return LenMbcs(line.left(line.indexOf(address)));
    };
    QCOMPARE(addressColumn(QStringLiteral("empty@x")), 64);
    QCOMPARE(addressColumn(QStringLiteral("long@x")), 64);
    QCOMPARE(addressColumn(QStringLiteral("addr3@x")), 64);
    QVERIFY(ops.contains(QStringLiteral("line:　　") + QString(30, QChar(0x6F22)) + QStringLiteral("long@x")));
    QVERIFY(ops.contains(QStringLiteral("line:　　二行目") + QString(54, QLatin1Char(' '))));

    // Fifteen to a page in landscape.
    f.w.platform.printed.clear();
    f.w.platform.printOrientation = 2;
    f.w.platform.answerPrintDialog(true);
    dlg.mnuPrint_Click();
    const QStringList land = f.w.platform.printed;
    QCOMPARE(land.count(QStringLiteral("newpage")), 1);
    QCOMPARE(land.mid(land.indexOf(QStringLiteral("newpage"))).filter(QStringLiteral("@x")).size(), 6);

    // A file that ends inside a record: the pages are not sent, no message.
    f.w.platform.printed.clear();
    dlg.txtFileName->setText(f.csv("broken.csv", QStringLiteral("a,b,a@x\r\nc,d\r\n")));
    f.w.platform.answerPrintDialog(true);
    dlg.mnuPrint_Click();
    QVERIFY(!f.w.platform.printed.contains(QStringLiteral("enddoc")));
    QVERIFY(f.w.platform.messageTexts().isEmpty());
    QCOMPARE(f.w.platform.busyDepth, 0);
    VERIFY_PLATFORM(f.w.platform);
}

void tst_DialogExcel::helpAndPrinterSetup()
{
    Fixture f;
    DialogExcel dlg(f.w.ctx);
    dlg.show();
    QTest::mouseClick(dlg.Label4, Qt::LeftButton);
    dlg.mnuHelpInport->trigger();
    const QList<PlatformCall> help = f.w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 2);
    QCOMPARE(QUrl(help.at(0).text).toLocalFile(), f.w.platform.helpFolder() + QStringLiteral("/Quillpost.html"));
    QCOMPARE(QUrl(help.at(0).text).fragment(), QStringLiteral("import"));
    QCOMPARE(help.at(1).text, help.at(0).text);

    f.w.platform.answerPrinterSetup(false);
    dlg.mnuPrinterSet->trigger();
    QCOMPARE(f.w.platform.callsOf(QStringLiteral("printSetup")).value(0).title, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
    QCOMPARE(f.w.platform.busyDepth, 0);
    VERIFY_PLATFORM(f.w.platform);
}

QTEST_MAIN(tst_DialogExcel)
#include "tst_dialogexcel.moc"
