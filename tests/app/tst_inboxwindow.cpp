// エラーメール・配信停止の処理 from the main window's menu, against a real
// Dovecot: what the window lists, what it suppresses and deletes, and a
// close while it waits on the server.

#include "account.h"
#include "addressdb.h"
#include "appwindows.h"
#include "bouncemail.h"
#include "frminbox.h"
#include "frmmail.h"
#include "mailservers.h"
#include "settingkeys.h"
#include "suppression.h"
#include "testutil.h"
#include "unsubscribetoken.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

// Profile 0 reads the mailbox at port; the address file has a row for
// each address.
void setUp(TestWorld &w, int port, const QStringList &addresses)
{
    SettingsStore &s = *w.settings;
    s.setValue(Setting::Server, QStringLiteral("127.0.0.1"));
    s.setValue(Setting::Pop3Port, QString::number(port));
    s.setValue(Setting::User, QStringLiteral("shop"));
    s.setSecret(Setting::Password, QStringLiteral("secret"));
    s.setValue(Setting::From, QStringLiteral("shop@example.jp"));
    s.setValue(Setting::NotAdvertising, QStringLiteral("1"));
    s.setValue(Setting::DatabaseFile, w.path(QStringLiteral("a.cdb")));
    LoadActiveAccount(s);
    AddressDb db;
    QVERIFY(db.open(w.path(QStringLiteral("a.cdb")), true));
    for (const QString &a : addresses)
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 宛先 (送信区分, メールアドレス) VALUES (1, ?)"), {a}));
}

QStringList suppressedIn(const QString &path)
{
    AddressDb db;
    QStringList out;
    if (db.open(path, false))
        for (const Suppression &s : suppressions(db))
            out << s.address + QLatin1Char(' ') + s.reason;
    out.sort();
    return out;
}

QStringList shownEntries(const frmInbox &window)
{
    QStringList out;
    for (int i = 0; i < window.lstEntries->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = window.lstEntries->topLevelItem(i);
        out << item->text(frmInbox::ColAddress) + QLatin1Char(' ') + item->text(frmInbox::ColReason) + QLatin1Char(' ')
                   + item->text(frmInbox::ColDate);
    }
    out.sort();
    return out;
}

} // namespace

class InboxWindowTest : public QObject {
    Q_OBJECT
private slots:
    void menuReadsTheMailboxAndListsWhatItDid();
    void closingWhileTheServerWaitsStopsAtOnce();
};

void InboxWindowTest::menuReadsTheMailboxAndListsWhatItDid()
{
    TestWorld w;
    wireWindows(w.ctx);
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    setUp(w, pop.port(), {QStringLiteral("a@example.jp"), QStringLiteral("i@example.jp")});
    const BounceMail mail(unsubscribeSecret(*w.settings));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("1.bounce"),
                        mail.postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 User unknown")));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("2.unsubscribe"),
                        BounceMail::personal(QStringLiteral("i@example.jp"), QStringLiteral("Re: 配信停止"))));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("3.newsletter"),
                        BounceMail::personal(QStringLiteral("news@example.org"), QStringLiteral("配信停止のお知らせ"),
                                             "List-Id: <news.example.org>\n")));

    QStringList shown;
    QString counts;
    w.platform.answerModal(QStringLiteral("frmInbox"), [&](QWidget *window) {
        auto *f = qobject_cast<frmInbox *>(window);
        QVERIFY(!f->chkDelete->isChecked());
        f->chkDelete->setChecked(true);
        QSignalSpy ended(f, &frmInbox::runEnded);
        QTest::mouseClick(f->cmdStart, Qt::LeftButton);
        QVERIFY(ended.wait(60000));
        shown = shownEntries(*f);
        counts = f->lblCounts->text();
        QTest::mouseClick(f->cmdClose, Qt::LeftButton);
    });
    frmMail main(w.ctx);
    main.mnuToolsInbox->trigger();
    VERIFY_PLATFORM(w.platform);

    const QString date = QStringLiteral("2005/04/01");
    QCOMPARE(shown, (QStringList{QStringLiteral("a@example.jp エラー 5.1.1 550 5.1.1 User unknown ") + date,
                                 QStringLiteral("i@example.jp 配信停止 ") + date}));
    QCOMPARE(counts,
             QStringLiteral("新しいメール 3件、エラー 1件、配信停止 1件、遅延 0件、判定できないエラーメール 0件、"
                            "読めないメール 0件、削除 2件"));
    QCOMPARE(suppressedIn(w.path(QStringLiteral("a.cdb"))),
             (QStringList{QStringLiteral("a@example.jp エラー 5.1.1 550 5.1.1 User unknown"),
                          QStringLiteral("i@example.jp 配信停止")}));
    // Only what it acted on left the server.
    QCOMPARE(pop.mailbox(QStringLiteral("shop")), QStringList{QStringLiteral("3.newsletter")});
}

void InboxWindowTest::closingWhileTheServerWaitsStopsAtOnce()
{
    TestWorld w;
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    PopCutProxy proxy;
    QVERIFY2(proxy.start(pop.port(), QStringLiteral("stall"), 1), qPrintable(proxy.error()));
    setUp(w, proxy.port(), {QStringLiteral("a@example.jp")});
    const BounceMail mail(unsubscribeSecret(*w.settings));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("1.bounce"),
                        mail.postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 User unknown")));

    frmInbox f(w.ctx);
    f.show();
    QSignalSpy ended(&f, &frmInbox::runEnded);
    f.cmdStart_Click();
    // The server has stopped halfway through the message; the window is
    // still there and closes when asked.
    QTRY_VERIFY_WITH_TIMEOUT(proxy.hasActed(), 60000);
    QVERIFY(f.isRunning());
    f.close();
    QVERIFY(ended.wait(60000));
    QVERIFY(!f.isVisible());
    QCOMPARE(int(f.result()->failure), int(InboxFailure::Stopped));
    QVERIFY(suppressedIn(w.path(QStringLiteral("a.cdb"))).isEmpty());
    VERIFY_PLATFORM(w.platform);

    // The message it did not finish is read the next time.
    f.show();
    f.cmdStart_Click();
    QVERIFY(ended.wait(60000));
    QCOMPARE(int(f.result()->failure), int(InboxFailure::None));
    QCOMPARE(f.result()->bounced, 1);
}

QTEST_MAIN(InboxWindowTest)
#include "tst_inboxwindow.moc"
