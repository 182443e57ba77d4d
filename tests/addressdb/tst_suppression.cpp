// Suppressed addresses in a real address file: whatever adds one again
// stores it held, and a run's list loses it before anything is sent.

#include "addressedit.h"
#include "addressfixture.h"
#include "csvimport.h"
#include "preflight.h"
#include "sendlist.h"
#include "sendrun.h"
#include "suppression.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDate kToday(2026, 12, 9);

// 送信区分 of the rows holding the address, in 宛先ID order.
QList<qint64> flagsOf(const QString &path, const QString &address)
{
    return queryIds(path, QStringLiteral("SELECT coalesce(送信区分, -1) FROM 宛先 WHERE メールアドレス = '%1' "
                                         "ORDER BY 宛先ID")
                              .arg(address));
}

} // namespace

class tst_Suppression : public QObject {
    Q_OBJECT
private slots:
    void init();
    void suppressingHoldsEveryRowAndKeepsTheFirstReason();
    void addingTheAddressAgainStoresItHeld_data();
    void addingTheAddressAgainStoresItHeld();
    void aSuppressedAddressNeverReachesARun();
    void anUnreadableFileStopsTheRunInsteadOfSendingBlind();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void tst_Suppression::init()
{
    static int n = 0;
    m_path = m_dir.filePath(QStringLiteral("book%1.cdb").arg(++n));
    QVERIFY(makeAddressDb(m_path, sampleRows()));
}

void tst_Suppression::suppressingHoldsEveryRowAndKeepsTheFirstReason()
{
    AddressDb db;
    QVERIFY(db.open(m_path, false));
    // Reading a file that never had a suppression leaves it as it was.
    QVERIFY(!isSuppressed(db, QStringLiteral("taro@example.jp")));
    QVERIFY(suppressions(db).isEmpty());
    QVERIFY(!hasSuppressionTable(db));

    QVERIFY(db.exec(QStringLiteral("INSERT INTO 宛先 VALUES (8, 1, '再', '', '', 'taro@example.jp', '', NULL)")));
    const SuppressResult first = suppressAddress(db, QStringLiteral(" TARO@Example.JP "),
                                                 SuppressionReason::bounced(QStringLiteral("5.1.1"),
                                                                            QStringLiteral("User\n unknown")),
                                                 kToday);
    QVERIFY2(first.ok, qPrintable(first.error));
    QVERIFY(first.added);
    QCOMPARE(first.rowsHeld, 2);
    QCOMPARE(flagsOf(m_path, QStringLiteral("taro@example.jp")), (QList<qint64>{0, 0}));
    QCOMPARE(flagsOf(m_path, QStringLiteral("hanako@example.jp")), QList<qint64>{1});

    const SuppressResult again = suppressAddress(db, QStringLiteral("taro@example.jp"),
                                                 SuppressionReason::unsubscribed(), kToday.addDays(1));
    QVERIFY(again.ok);
    QVERIFY(!again.added);
    QCOMPARE(again.rowsHeld, 0);
    const QList<Suppression> list = suppressions(db);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].address, QStringLiteral("taro@example.jp"));
    QCOMPARE(list[0].reason, QStringLiteral("エラー 5.1.1 User unknown"));
    QCOMPARE(list[0].date, QStringLiteral("2026/12/09"));

    QVERIFY(liftSuppression(db, QStringLiteral("Taro@example.jp")));
    QVERIFY(!isSuppressed(db, QStringLiteral("taro@example.jp")));
}

void tst_Suppression::addingTheAddressAgainStoresItHeld_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("flag");
    enum { Import, Typed, Edited };
    QTest::newRow("import") << int(Import) << QStringLiteral("Dead@Example.jp") << qint64(0);
    QTest::newRow("typed in") << int(Typed) << QStringLiteral("dead@example.jp ") << qint64(0);
    QTest::newRow("address edited") << int(Edited) << QStringLiteral("DEAD@example.jp") << qint64(0);
    QTest::newRow("import, another address") << int(Import) << QStringLiteral("alive@example.jp") << qint64(1);
    QTest::newRow("typed in, another address") << int(Typed) << QStringLiteral("alive@example.jp") << qint64(1);
}

void tst_Suppression::addingTheAddressAgainStoresItHeld()
{
    QFETCH(int, path);
    QFETCH(QString, address);
    QFETCH(qint64, flag);
    AddressDb db;
    QVERIFY(db.open(m_path, false));
    QVERIFY(suppressAddress(db, QStringLiteral("dead@example.jp"), SuppressionReason::manual(), kToday).ok);

    qint64 id = 0;
    bool heldNoted = false;
    switch (path) {
    case 0: {
        ImportRows rows;
        rows.append(QStringLiteral("一"), QString(), normaliseAddress(address));
        rows.append(QStringLiteral("二"), QString(), QStringLiteral("other@example.jp"));
        const ImportCommitResult r = ImportCommitter(&db).commit(QStringLiteral("再登録"), rows, kToday);
        QCOMPARE(r.stored, 2);
        QCOMPARE(r.suppressed, flag == 0 ? 1 : 0);
        heldNoted = r.suppressed > 0;
        id = r.firstId;
        break;
    }
    case 1: {
        const RecipientEdit r = addRecipient(db, {QStringLiteral("手入力"), {}, {}, address, {}}, kToday);
        QVERIFY2(r.ok, qPrintable(r.message));
        heldNoted = r.held && !r.message.isEmpty();
        id = r.id;
        break;
    }
    default: {
        id = 3;
        const RecipientEdit r = storeRecipientField(db, id, AddressColumns::ColAddress, address);
        QVERIFY2(r.ok, qPrintable(r.message));
        heldNoted = r.held && !r.message.isEmpty();
    }
    }
    QCOMPARE(heldNoted, flag == 0);
    QCOMPARE(queryIds(m_path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = %1").arg(id)),
             QList<qint64>{flag});
}

void tst_Suppression::aSuppressedAddressNeverReachesARun()
{
    {
        AddressDb db;
        QVERIFY(db.open(m_path, false));
        QVERIFY(suppressAddress(db, QStringLiteral("hanako@example.jp"), SuppressionReason::unsubscribed(), kToday).ok);
    }
    // A list from a file knows nothing of the flags: the run's check does.
    SendList list;
    list.append(QStringLiteral("一"), {}, QStringLiteral("taro@example.jp"));
    list.append(QStringLiteral("二"), {}, QStringLiteral("Hanako@Example.jp"));
    list.append(QStringLiteral("三"), {}, QStringLiteral("x@example.jp"));
    list.append(QStringLiteral("四"), {}, QStringLiteral("hanako@example.jp"));
    const SuppressedEntries found = findSuppressedEntries(list, m_path);
    QVERIFY2(found.error.isEmpty(), qPrintable(found.error));
    QCOMPARE(found.entries, (QList<qsizetype>{1, 3}));
    QCOMPARE(mergedEntries({3, 2}, found.entries), (QList<qsizetype>{1, 2, 3}));
    list.setRows(withoutEntries(list.rows(), found.entries));
    QCOMPARE(list.lstAddress(), (QStringList{QStringLiteral("taro@example.jp"), QStringLiteral("x@example.jp")}));

    SendRunResult done;
    done.outcome = SendRunResult::Outcome::Completed;
    done.accepted = 2;
    done.suppressed = found.entries.size();
    QCOMPARE(sendOutcomeMessage(done),
             QStringLiteral("2件の送信を完了しました。\n配信停止中のアドレス 2件には送信しませんでした。"));

    // A file without the table, or no file at all, suppresses nobody.
    QVERIFY(findSuppressedEntries(list, m_dir.filePath(QStringLiteral("missing.cdb"))).entries.isEmpty());
}

void tst_Suppression::anUnreadableFileStopsTheRunInsteadOfSendingBlind()
{
    const QString junk = m_dir.filePath(QStringLiteral("junk.cdb"));
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    SendList list;
    list.append(QStringLiteral("一"), {}, QStringLiteral("taro@example.jp"));
    QVERIFY(!findSuppressedEntries(list, junk).error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Suppression)
#include "tst_suppression.moc"
