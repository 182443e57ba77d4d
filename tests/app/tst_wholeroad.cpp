// The road of one bulk mail: rows in a database file, the address book's
// search, insert into the send list, a send to a real SMTP server, the log.

#include "account.h"
#include "addressbookwindow.h"
#include "addressdb.h"
#include "addressrowmodel.h"
#include "appwindows.h"
#include "frmlog.h"
#include "frmmail.h"
#include "mailservers.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "testutil.h"
#include "textcodec.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class TestWholeRoad : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ActiveAccount = AccountRecord(); }
    void fromTheDatabaseToTheLog();
};

void TestWholeRoad::fromTheDatabaseToTheLog()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    TestWorld w;
    wireWindows(w.ctx);

    // The address file, under a Japanese name.
    const QString dbPath = w.path(QStringLiteral("顧客名簿.cdb"));
    {
        AddressDb db;
        QVERIFY(db.open(dbPath, true));
        const QString insert = QStringLiteral("INSERT INTO 宛先 VALUES (?, ?, ?, ?, ?, ?, ?, NULL)");
        const QVariant none;
        QVERIFY(db.exec(insert, {1, 1, QStringLiteral("展示会"), QStringLiteral("山田 太郎"), QStringLiteral("営業部"),
                                 QStringLiteral("taro@example.jp"), QStringLiteral("2005/04/01")}));
        QVERIFY(db.exec(insert, {2, 0, QStringLiteral("展示会"), QStringLiteral("O'Brien"), QString(""),
                                 QStringLiteral("obrien@example.com"), QStringLiteral("2005/04/01")}));
        QVERIFY(db.exec(insert, {3, 1, QStringLiteral("名簿"), QStringLiteral("鈴木 花子"), none,
                                 QStringLiteral("hanako@example.jp"), QStringLiteral("2005/04/02")}));
        QVERIFY(db.exec(insert, {4, 1, QStringLiteral("展示会"), QStringLiteral("佐藤 次郎"), none, none,
                                 QStringLiteral("2005/04/02")}));
        QVERIFY(db.exec(insert, {5, 1, QStringLiteral("展示会"), QStringLiteral("高橋 三郎"), QString(""),
                                 QStringLiteral("saburo@example.jp"), QStringLiteral("2005/04/03")}));
    }
    SettingsStore &s = *w.settings;
    s.setValue(QStringLiteral("MDBFileName"), dbPath);
    s.setValue(QStringLiteral("Account"), QStringLiteral("0"));
    s.setValue(QStringLiteral("szServer"), QStringLiteral("127.0.0.1"));
    s.setValue(QStringLiteral("szPort"), QString::number(smtp.port()));
    s.setValue(QStringLiteral("szFrom"), QStringLiteral("shop@example.jp"));
    s.setValue(QStringLiteral("szFromName"), QStringLiteral("山田商店"));
    s.setValue(QStringLiteral("NotAdvertising"), QStringLiteral("1"));
    s.setValue(QStringLiteral("Check1V"), QStringLiteral("1"));
    s.setValue(QStringLiteral("User"), QStringLiteral("shop"));
    s.setValue(QStringLiteral("UserPass"), QStringLiteral("secret"));

    frmMail f(w.ctx);
    f.show();
    f.Form_Activate();

    // The address book: the exhibition's rows, the held one released, into
    // the send list.
    int listedOnOpen = -1;
    w.platform.answerModal(QStringLiteral("DialogMail"), [&](QWidget *win) {
        auto *book = qobject_cast<DialogMail *>(win);
        QVERIFY(book);
        listedOnOpen = book->ResultSet->count();
        book->Combo2->setCurrentText(QStringLiteral("インポート区分名"));
        book->Combo2_Click();
        book->txtKey->setText(QStringLiteral("展示会"));
        book->Check1->setChecked(true);
        book->Command2->click();
        QCOMPARE(book->ResultSet->count(), 4);
        book->setCurrentRow(1);
        QCOMPARE(book->ResultSet->text(1, AddressRowModel::ColName1), QStringLiteral("O'Brien"));
        book->tbToolBar_ButtonClick(QStringLiteral("送信区分変更"));
        book->mnuEntry->trigger();
    });
    f.mnuInport->trigger();
    QCOMPARE(listedOnOpen, 4);
    QCOMPARE(w.sendList.lstAddress(),
             (QStringList{QStringLiteral("taro@example.jp"), QStringLiteral("obrien@example.com"),
                          QStringLiteral("saburo@example.jp")}));
    QCOMPARE(w.sendList.lstName2(), (QStringList{QStringLiteral("営業部"), QString(), QString()}));
    QCOMPARE(f.Text1->text(), QStringLiteral("3"));
    QCOMPARE(w.platform.busyDepth, 0);

    // Subject and body, then the send; the log viewer shows the run.
    f.txtSubject->setText(QStringLiteral("展示会のご案内"));
    f.setBodyText(QStringLiteral("先日はご来場ありがとうございました。"));
    QStringList viewerCells;
    w.platform.answerModal(QStringLiteral("frmLog"), [&](QWidget *win) {
        auto *log = qobject_cast<frmLog *>(win);
        QVERIFY(log);
        for (int r = 0; r < log->MSFlexGrid1->rowCount(); ++r)
            for (int c = 0; c < log->MSFlexGrid1->columnCount(); ++c)
                if (auto *item = log->MSFlexGrid1->item(r, c))
                    viewerCells << item->text();
    });
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);

    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("3件の送信を完了しました。")});
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0].envelopeTo, QStringList{QStringLiteral("taro@example.jp")});
    QCOMPARE(got[1].envelopeTo, QStringList{QStringLiteral("obrien@example.com")});
    QCOMPARE(got[2].envelopeTo, QStringList{QStringLiteral("saburo@example.jp")});
    for (const ReceivedMail &m : got) {
        QCOMPARE(m.subject, QStringLiteral("展示会のご案内"));
        QVERIFY2(m.text.contains(QStringLiteral("先日はご来場ありがとうございました。")), qPrintable(m.text));
    }
    QVERIFY2(got[0].text.startsWith(QStringLiteral("山田 太郎")), qPrintable(got[0].text));
    QVERIFY2(got[1].text.startsWith(QStringLiteral("O'Brien")), qPrintable(got[1].text));

    const auto logText = decodeCp932(readBytes(w.path(QStringLiteral("SendMail.Log"))));
    QVERIFY(logText.has_value());
    QStringList lines = logText->split(QStringLiteral("\r\n"));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith(QStringLiteral("山田商店,shop@example.jp,127.0.0.1,展示会のご案内,")));
    QVERIFY(lines[1].startsWith(QStringLiteral("山田 太郎,営業部,taro@example.jp,送信済,")));
    QVERIFY(lines[2].startsWith(QStringLiteral("O'Brien,,obrien@example.com,送信済,")));
    QVERIFY(lines[3].startsWith(QStringLiteral("高橋 三郎,,saburo@example.jp,送信済,")));
    for (const QString &a :
         {QStringLiteral("taro@example.jp"), QStringLiteral("obrien@example.com"), QStringLiteral("saburo@example.jp")})
        QVERIFY2(viewerCells.contains(a), qPrintable(viewerCells.join(QLatin1Char('|'))));

    // The run emptied the list; the toggled flag stayed in the file.
    QCOMPARE(w.sendList.count(), 0);
    AddressDb db;
    QVERIFY(db.open(dbPath, false));
    AddressRowModel rows;
    QVERIFY(rows.load(db, QStringLiteral("SELECT 宛先ID FROM 宛先 WHERE 送信区分 = 1 ORDER BY 宛先ID"), {}));
    QCOMPARE(rows.count(), 5);
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestWholeRoad)
#include "tst_wholeroad.moc"
