// The mailbox reader against a private Dovecot holding bounces in the forms
// real servers write, unsubscribe requests and their look-alikes.

#include "addressdb.h"
#include "bouncemail.h"
#include "inboxclassify.h"
#include "inboxreader.h"
#include "mailservers.h"
#include "suppression.h"
#include "unsubscribetoken.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kSecret = "inbox-test-secret";

const BounceMail mail(kSecret);

QByteArray token(const QString &address)
{
    return mail.token(address);
}

struct Fixture {
    const char *name;
    QByteArray message;
    InboxClassification::Kind kind;
    QString address; // suppressed, or "" for none
};

QList<Fixture> fixtures()
{
    using K = InboxClassification;
    const QString other = QStringLiteral("someone@example.org");
    return {
        {"postfix", mail.postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 User unknown"),
         K::Bounce, QStringLiteral("a@example.jp")},
        {"exchange", mail.exchangeDsn(QStringLiteral("b@example.jp")), K::Bounce, QStringLiteral("b@example.jp")},
        {"gmail", mail.gmailDsn(QStringLiteral("c@example.jp")), K::Bounce, QStringLiteral("c@example.jp")},
        {"japanese", mail.japaneseNotice(QStringLiteral("d@example.jp")), K::Bounce, QStringLiteral("d@example.jp")},
        {"plain",
         mail.plainNotice(QStringLiteral("e@example.jp"),
                          "Message-ID: <" + token(QStringLiteral("e@example.jp")) + "@example.com>"),
         K::Bounce, QStringLiteral("e@example.jp")},
        {"plain without the original",
         mail.plainNotice(QStringLiteral("f@example.jp"), "Subject: news"),
         K::Undetermined,
         {}},
        {"delayed",
         mail.postfixDsn(QStringLiteral("g@example.jp"), "delayed", "4.4.7", "450 4.4.7 try again later"),
         K::Delayed,
         {}},
        {"token",
         mail.personal(other,
                       QStringLiteral("unsubscribe ") + QString::fromLatin1(token(QStringLiteral("h@example.jp")))),
         K::Unsubscribe, QStringLiteral("h@example.jp")},
        {"subject", mail.personal(QStringLiteral("i@example.jp"), QStringLiteral("Re: 配信停止")), K::Unsubscribe,
         QStringLiteral("i@example.jp")},
        {"out of office",
         mail.personal(QStringLiteral("j@example.jp"), QStringLiteral("Re: 配信停止"),
                       "Auto-Submitted: auto-replied\n"),
         K::Other,
         {}},
        {"reply mentioning it",
         mail.personal(QStringLiteral("k@example.jp"), QStringLiteral("Re: 6月のお知らせ"),
                       "References: <" + token(QStringLiteral("k@example.jp")) + "@example.com>\n",
                       QStringLiteral("配信停止の方法を教えてください。")),
         K::Other,
         {}},
        {"newsletter",
         mail.personal(QStringLiteral("news@example.jp"), QStringLiteral("配信停止"), "List-Id: <news.example.jp>\n"),
         K::Other,
         {}},
        {"forged token",
         mail.personal(other, QStringLiteral("unsubscribe ")
                                  + QString::fromLatin1(unsubscribeToken(QStringLiteral("l@example.jp"), "another"))),
         K::Other,
         {}},
        {"broken", QByteArray("\x01\x02 not a message at all\r\n"), K::Broken, {}},
    };
}

// Everyone above has a row, the newsletter's sender too.
const QStringList kRows = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "news"};

bool fillDatabase(AddressDb &db, const QString &path)
{
    if (!db.open(path, true))
        return false;
    for (const QString &r : kRows)
        if (!db.exec(QStringLiteral("INSERT INTO 宛先 (送信区分, メールアドレス) VALUES (1, ?)"),
                     {r + QStringLiteral("@example.jp")}))
            return false;
    return true;
}

TransportSettings popSettings(int port)
{
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.pop3Port = port;
    s.user = QStringLiteral("shop");
    s.password = QStringLiteral("secret");
    return s;
}

InboxOptions inboxOptions(const QTemporaryDir &dir)
{
    InboxOptions o;
    o.seenFile = dir.filePath(QStringLiteral("seen.txt"));
    o.seenKey = QStringLiteral("0 shop");
    o.csvFile = dir.filePath(QStringLiteral("list.csv"));
    o.secret = kSecret;
    o.today = QDate(2026, 12, 9);
    return o;
}

QStringList suppressedAddresses(AddressDb &db)
{
    QStringList out;
    for (const Suppression &x : suppressions(db))
        out << x.address;
    out.sort();
    return out;
}

QByteArray bounce(const QString &to)
{
    return mail.postfixDsn(to, "failed", "5.1.1", "550 5.1.1 User unknown");
}

} // namespace

class TestInbox : public QObject {
    Q_OBJECT
private slots:
    void classifies_data();
    void classifies();
    void readsTheMailboxOnce();
    void readsPastAnOversizedMessage_data();
    void readsPastAnOversizedMessage();
    void interruptedReadingGoesOnWhereItStopped_data();
    void interruptedReadingGoesOnWhereItStopped();
};

void TestInbox::classifies_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("address");
    for (const Fixture &f : fixtures())
        QTest::newRow(f.name) << f.message << int(f.kind) << f.address;
}

void TestInbox::classifies()
{
    QFETCH(QByteArray, message);
    QFETCH(int, kind);
    QFETCH(QString, address);
    const QStringList known = {QStringLiteral("i@example.jp"), QStringLiteral("j@example.jp"),
                               QStringLiteral("k@example.jp"), QStringLiteral("news@example.jp")};
    const InboxClassification c = classifyInboxMessage(message, kSecret,
                                                       [&](const QString &a) { return known.contains(a); });
    QCOMPARE(int(c.kind), kind);
    if (kind == InboxClassification::Bounce || kind == InboxClassification::Unsubscribe)
        QCOMPARE(c.address, address);
    if (kind == InboxClassification::Bounce)
        QVERIFY2(c.status.startsWith(QLatin1Char('5')), qPrintable(c.status));
}

void TestInbox::readsTheMailboxOnce()
{
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    const QList<Fixture> all = fixtures();
    QStringList expected;
    QStringList left; // what --delete must leave on the server
    for (int i = 0; i < all.size(); ++i) {
        const QString name = QStringLiteral("%1.m%2").arg(1000 + i).arg(i);
        QVERIFY(pop.deliver(QStringLiteral("shop"), name, all[i].message));
        if (!all[i].address.isEmpty())
            expected << all[i].address;
        const auto k = all[i].kind;
        if (k != InboxClassification::Bounce && k != InboxClassification::Unsubscribe
            && k != InboxClassification::Delayed)
            left << name;
    }
    expected.sort();
    left.sort();

    QTemporaryDir dir;
    AddressDb db;
    QVERIFY(fillDatabase(db, dir.filePath(QStringLiteral("a.cdb"))));
    const TransportSettings s = popSettings(pop.port());
    InboxOptions o = inboxOptions(dir);

    const InboxResult first = readInbox(s, db, o);
    QVERIFY2(first.error.isEmpty(), qPrintable(first.error));
    QCOMPARE(first.read, int(all.size()));
    QCOMPARE(suppressedAddresses(db), expected);
    QCOMPARE(first.deleted, 0);
    QCOMPARE(pop.mailbox(QStringLiteral("shop")).size(), all.size());
    QFile csv(o.csvFile);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray csvBytes = csv.readAll();
    QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(csvBytes.count("\r\n"), expected.size() + 1);

    // Nothing new the second time; with deletion asked for, the messages
    // acted on go (once read again, as a later mailbox would be).
    const InboxResult second = readInbox(s, db, o);
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    QCOMPARE(second.read, 0);
    QVERIFY(QFile::remove(o.seenFile));
    o.deleteClassified = true;
    const InboxResult third = readInbox(s, db, o);
    QVERIFY2(third.error.isEmpty(), qPrintable(third.error));
    QCOMPARE(third.deleted, int(all.size() - left.size()));
    QCOMPARE(pop.mailbox(QStringLiteral("shop")), left);
}

void TestInbox::readsPastAnOversizedMessage_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("line"); // what the result says of it
    QTest::addColumn<QString>("csvFolder");
    // A bounce whose notice is one line of 100 KB: read whole, acted on.
    QByteArray longLine = bounce(QStringLiteral("b@example.jp"));
    longLine.replace("I'm sorry", QByteArray(100 * 1024, 'x') + " I'm sorry");
    QTest::newRow("line of 100 KB") << longLine << QStringLiteral("b@example.jp\tエラー 5.1.1") << QStringLiteral(".");
    // 30 MB and more: only the head is read.
    QByteArray huge = mail.personal(QStringLiteral("news@example.jp"), QStringLiteral("写真集"));
    huge += QByteArray(31 * 1024 * 1024, 'A').replace(QByteArray(76, 'A'), QByteArray(74, 'A') + "\r\n");
    // ... and a CSV in a folder that isn't there.
    QTest::newRow("30 MB") << huge << QStringLiteral("-\t大きすぎるメール（") << QStringLiteral("gone");
}

void TestInbox::readsPastAnOversizedMessage()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, line);
    QFETCH(QString, csvFolder);
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("1000.big"), message));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("1001.after"), bounce(QStringLiteral("a@example.jp"))));
    message.clear();
    QTemporaryDir dir;
    AddressDb db;
    QVERIFY(fillDatabase(db, dir.filePath(QStringLiteral("a.cdb"))));
    InboxOptions o = inboxOptions(dir);
    o.csvFile = dir.filePath(csvFolder + QStringLiteral("/list.csv"));
    const InboxResult r = readInbox(popSettings(pop.port()), db, o);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.read, 2);
    QStringList lines;
    for (const InboxEntry &e : r.entries)
        lines << inboxEntryText(e);
    QVERIFY2(std::any_of(lines.cbegin(), lines.cend(), [&](const QString &l) { return l.startsWith(line); }),
             qPrintable(lines.join(QLatin1Char('\n'))));
    // The message after it was read and acted on.
    QVERIFY(suppressedAddresses(db).contains(QStringLiteral("a@example.jp")));
    // A CSV that can't be written is said, not passed over.
    QCOMPARE(r.csvError.isEmpty(), QFileInfo(o.csvFile).isFile());
}

void TestInbox::interruptedReadingGoesOnWhereItStopped_data()
{
    QTest::addColumn<bool>("dropConnection"); // or: another program holds the address file
    QTest::addColumn<int>("failure");
    QTest::newRow("connection dropped") << true << int(InboxFailure::Dropped);
    QTest::newRow("database held") << false << int(InboxFailure::Database);
}

void TestInbox::interruptedReadingGoesOnWhereItStopped()
{
    QFETCH(bool, dropConnection);
    QFETCH(int, failure);
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    const QStringList bounced = {QStringLiteral("a@example.jp"), QStringLiteral("b@example.jp"),
                                 QStringLiteral("c@example.jp")};
    for (int i = 0; i < bounced.size(); ++i)
        QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("100%1.m").arg(i), bounce(bounced[i])));
    PopCutProxy proxy;
    QVERIFY2(proxy.start(pop.port(), QStringLiteral("cut"), 2), qPrintable(proxy.error()));
    QTemporaryDir dir;
    AddressDb db;
    QVERIFY(fillDatabase(db, dir.filePath(QStringLiteral("a.cdb"))));
    const InboxOptions o = inboxOptions(dir);

    // Another program takes the file for itself once the first address is
    // stored.
    AddressDb other;
    const int busyMs = AddressDb::busyTimeoutMs();
    AddressDb::setBusyTimeoutMs(50);
    auto held = qScopeGuard([busyMs] { AddressDb::setBusyTimeoutMs(busyMs); });
    QVERIFY(other.open(dir.filePath(QStringLiteral("a.cdb")), false));
    const InboxResult first = readInbox(popSettings(dropConnection ? proxy.port() : pop.port()), db, o,
                                        [&](const InboxEntry &) {
                                            if (!dropConnection && !other.inTransaction())
                                                QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
                                        });
    QCOMPARE(int(first.failure), failure);
    QVERIFY(!inboxFailureText(first).isEmpty());
    QCOMPARE(first.bounced, 1);
    if (!dropConnection) {
        QVERIFY(first.entries.last().reason.endsWith(QStringLiteral("（保存できませんでした）")));
        QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
    }
    const QStringList afterFirst = suppressedAddresses(db);
    QCOMPARE(afterFirst.size(), 1);
    // Next time: the other two, nothing twice.
    const InboxResult second = readInbox(popSettings(pop.port()), db, o);
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    QCOMPARE(second.read, 2);
    QCOMPARE(second.bounced, 2);
    QCOMPARE(suppressedAddresses(db), bounced);
    QVERIFY(!second.entries.isEmpty());
    for (const InboxEntry &e : second.entries)
        QVERIFY2(!afterFirst.contains(e.address), qPrintable(e.address));
}

QTEST_GUILESS_MAIN(TestInbox)
#include "tst_inbox.moc"
