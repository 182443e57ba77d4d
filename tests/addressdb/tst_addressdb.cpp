#include "addressfixture.h"
#include "addressrowmodel.h"
#include "dbstatement.h"
#include "testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Ids = QList<qint64>;

class TestAddressDb : public QObject {
    Q_OBJECT
private slots:
    void missingDefaultIsCreatedWithTheTable();
    void badFilesAreRefusedAndLeftUntouched();
    void lockedFileGivesUpWithinSeconds();
    void compactionKeepsEveryRow();
    void leftoverTemporaryFileStopsCompaction();
    void failedReplaceKeepsTheDatabaseAndSaysWhy();
    void compactionThroughALinkReplacesTheFile();
    void pathsBesideTheProgram();
    void deleteAndToggleWriteThroughAtOnce();
    void readAllWalksTheSetInOrder();
};

void TestAddressDb::missingDefaultIsCreatedWithTheTable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillpost.cdb"));
    AddressDb db;
    QString err;
    QVERIFY2(db.open(path, true, &err), qPrintable(err));
    QVERIFY(QFile::exists(path));

    DbStatement st(db, QByteArrayView("SELECT * FROM 宛先"));
    QVERIFY(st.isValid());
    QStringList cols;
    for (int i = 0; i < st.columnCount(); ++i)
        cols << QString::fromUtf8(st.columnName(i));
    QCOMPARE(cols, AddressRowModel::columnNames());

    // Missing and not the default: an error, and no file appears.
    AddressDb other;
    QVERIFY(!other.open(dir.filePath(QStringLiteral("other.cdb")), false, &err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("other.cdb"))));
}

void TestAddressDb::badFilesAreRefusedAndLeftUntouched()
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.cdb"));
    const QByteArray junk = QByteArray("宛先,メールアドレス\r\nthis is no database\r\n").repeated(200);
    writeBytes(text, junk);
    AddressDb db;
    QString err;
    QVERIFY(!db.open(text, true, &err));
    QVERIFY(!err.isEmpty());
    QVERIFY(!db.isOpen());
    QCOMPARE(readBytes(text), junk);

    // A real database without the table.
    const QString other = dir.filePath(QStringLiteral("other.cdb"));
    {
        sqlite3 *h = nullptr;
        QCOMPARE(sqlite3_open(other.toUtf8().constData(), &h), SQLITE_OK);
        QCOMPARE(sqlite3_exec(h, "CREATE TABLE t(a); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(h);
    }
    const QByteArray before = readBytes(other);
    QVERIFY(!db.open(other, true, &err));
    QVERIFY(err.contains(QStringLiteral("宛先")));
    QCOMPARE(readBytes(other), before);
    QVERIFY(!AddressDb::compactFile(other, dir.filePath(QStringLiteral("tmp.cdb")), &err));
    QCOMPARE(readBytes(other), before);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("tmp.cdb"))));
}

void TestAddressDb::lockedFileGivesUpWithinSeconds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));

    // Another program holds the file exclusively.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    const int saved = AddressDb::busyTimeoutMs();
    AddressDb::setBusyTimeoutMs(300);
    QElapsedTimer t;
    t.start();
    AddressDb db;
    QString err;
    const bool opened = db.open(path, false, &err);
    const qint64 ms = t.elapsed();
    AddressDb::setBusyTimeoutMs(saved);
    QVERIFY(!opened);
    QVERIFY2(err.contains(QStringLiteral("locked")), qPrintable(err));
    // It gave the other program the busy time to finish before giving up. A
    // ceiling on the wait would measure the machine's load; a wait without
    // end never returns, and the test fails with it.
    QVERIFY2(ms >= 300, qPrintable(QString::number(ms)));

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QVERIFY(db.open(path, false, &err));
}

void TestAddressDb::compactionKeepsEveryRow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.cdb"));
    QList<AddrRow> rows;
    for (int i = 1; i <= 500; ++i)
        rows.append({i, i % 3 ? QVariant(1) : QVariant(), s("名簿"), QVariant(QStringLiteral("宛先%1").arg(i)), s(""),
                     QVariant(QStringLiteral("u%1@example.jp").arg(i)), s("2005/04/01"), QVariant()});
    QVERIFY(makeAddressDb(path, rows));
    {
        AddressDb db;
        QVERIFY(db.open(path, false));
        QVERIFY(db.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID > 250")));
    }
    const qint64 before = QFileInfo(path).size();
    const QString temp = dir.filePath(QStringLiteral("CompactFileName.cdb"));
    // The compacted file is no more readable to others than the file was.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QVERIFY(QFile::setPermissions(path, ownerOnly));
    QString err;
    QVERIFY2(AddressDb::compactFile(path, temp, &err), qPrintable(err));
    QVERIFY(!QFile::exists(temp));
    QVERIFY(QFileInfo(path).size() < before);
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), ownerOnly);

    Ids expected;
    for (int i = 1; i <= 250; ++i)
        expected << i;
    QCOMPARE(queryIds(path), expected);
    QCOMPARE(queryIds(path, QStringLiteral("SELECT count(*) FROM 宛先 WHERE 送信区分 IS NULL")), Ids{83});
    QCOMPARE(queryIds(path,
                      QStringLiteral(
                          "SELECT 宛先ID FROM 宛先 WHERE 宛先1 = '宛先77' AND メールアドレス = 'u77@example.jp'")),
             Ids{77});
}

void TestAddressDb::leftoverTemporaryFileStopsCompaction()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));
    const QString temp = dir.filePath(QStringLiteral("CompactFileName.cdb"));
    QVERIFY(makeAddressDb(temp, {sampleRows().first()}));
    const QByteArray tempBefore = readBytes(temp);

    QString err;
    QVERIFY(!AddressDb::compactFile(path, temp, &err));
    QVERIFY(!err.isEmpty());
    QCOMPARE(queryIds(path), (Ids{1, 2, 3, 4, 5, 6, 7}));
    QCOMPARE(readBytes(temp), tempBefore);
}

void TestAddressDb::failedReplaceKeepsTheDatabaseAndSaysWhy()
{
    // A copy on another file system can't be renamed over the database.
    QTemporaryDir dir, shm(QStringLiteral("/dev/shm/tst_addressdb-XXXXXX"));
    QVERIFY(shm.isValid());
    const QString path = dir.filePath(QStringLiteral("book.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));
    const QByteArray before = readBytes(path);
    const QString temp = shm.filePath(QStringLiteral("CompactFileName.cdb"));
    QString err;
    QVERIFY(!AddressDb::compactFile(path, temp, &err));
    QVERIFY2(err.startsWith(QStringLiteral("cannot replace ") + path), qPrintable(err));
    QCOMPARE(readBytes(path), before);
    QVERIFY(!QFile::exists(temp));
}

void TestAddressDb::compactionThroughALinkReplacesTheFile()
{
    // The database on a stick, reached through a link in another folder.
    QTemporaryDir stick, home;
    const QString real = stick.filePath(QStringLiteral("book.cdb"));
    QVERIFY(makeAddressDb(real, sampleRows()));
    const QString link = home.filePath(QStringLiteral("book.cdb"));
    QVERIFY(QFile::link(real, link));

    const QString temp = compactTempPathFor(link);
    QCOMPARE(temp, QDir(stick.path()).canonicalPath() + QStringLiteral("/CompactFileName.cdb"));
    QString err;
    QVERIFY2(AddressDb::compactFile(link, temp, &err), qPrintable(err));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(!QFile::exists(temp));
    QCOMPARE(queryIds(real), (Ids{1, 2, 3, 4, 5, 6, 7}));
}

void TestAddressDb::pathsBesideTheProgram()
{
    QCOMPARE(defaultDatabasePath(QStringLiteral("/opt/quillpost")), QStringLiteral("/opt/quillpost/Quillpost.cdb"));
    QCOMPARE(defaultDatabasePath(QStringLiteral("/")), QStringLiteral("/Quillpost.cdb"));
    QCOMPARE(compactTempPath(QStringLiteral("/opt/quillpost/")), QStringLiteral("/opt/quillpost/CompactFileName.cdb"));
    QCOMPARE(compactTempPath(QStringLiteral("/")), QStringLiteral("/CompactFileName.cdb"));
}

void TestAddressDb::deleteAndToggleWriteThroughAtOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));
    AddressDb db;
    QVERIFY(db.open(path, false));
    AddressRowModel rows;
    QVERIFY(rows.load(db, QStringLiteral("SELECT * FROM 宛先 Order by 宛先ID"), {}));
    QCOMPARE(rows.count(), 7);
    QCOMPARE(rows.data(rows.index(0, AddressRowModel::ColFlag)).toString(), QStringLiteral("True"));
    QCOMPARE(rows.data(rows.index(1, AddressRowModel::ColFlag)).toString(), QStringLiteral("False"));
    QCOMPARE(rows.data(rows.index(3, AddressRowModel::ColFlag)).toString(), QString());
    QVERIFY(rows.isNull(5, AddressRowModel::ColAddress));
    QVERIFY(!rows.isNull(1, AddressRowModel::ColName2));
    QVERIFY(rows.text(1, AddressRowModel::ColName2).isEmpty());
    QCOMPARE(rows.text(1, AddressRowModel::ColName1), QStringLiteral("O'Brien"));

    // True -> False -> True; NULL -> True.
    QVERIFY(rows.toggleSendFlag(db, 0));
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 1")), Ids{0});
    QVERIFY(rows.toggleSendFlag(db, 0));
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 1")), Ids{1});
    QVERIFY(rows.toggleSendFlag(db, 3));
    QCOMPARE(rows.sendFlag(3), std::optional<bool>(true));
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 4")), Ids{1});

    QVERIFY(rows.deleteRow(db, 2));
    QCOMPARE(rows.count(), 6);
    QCOMPARE(rows.id(2), 4);
    QCOMPARE(queryIds(path), (Ids{1, 2, 4, 5, 6, 7}));

    // A locked file: the write fails and the list keeps the row.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    AddressDb::setBusyTimeoutMs(100);
    QVERIFY(db.open(path, false)); // the shorter wait applies from the next open
    QVERIFY(!rows.deleteRow(db, 0));
    QVERIFY(!rows.toggleSendFlag(db, 0));
    QCOMPARE(rows.count(), 6);
    QCOMPARE(rows.sendFlag(0), std::optional<bool>(true));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

void TestAddressDb::readAllWalksTheSetInOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.cdb"));
    QList<AddrRow> rows;
    for (int i = 1; i <= 1000; ++i)
        rows.append({i, i % 2, s("名簿"), QVariant(QStringLiteral("名%1").arg(i)), i % 5 ? s("") : QVariant(),
                     QVariant(QStringLiteral("u%1@example.jp").arg(i)), s("2005/04/01"), QVariant()});
    QVERIFY(makeAddressDb(path, rows));
    AddressDb db;
    QVERIFY(db.open(path, false));

    auto walk = [](const AddressRowModel &m, unsigned fields = AddressRowModel::kAllFields) {
        QStringList out;
        const bool ok = m.readAll(
            [&out](const AddressRowModel::Row &r) {
                out << QStringLiteral("%1:%2:%3:%4:%5")
                           .arg(r.id)
                           .arg(r.flag.value_or(false))
                           .arg(r.field(AddressRowModel::ColName1),
                                r.field(AddressRowModel::ColName2).isNull() ? QStringLiteral("null")
                                                                            : QStringLiteral("text"),
                                r.field(AddressRowModel::ColCategory).isNull() ? QStringLiteral("-")
                                                                               : r.field(AddressRowModel::ColCategory));
            },
            nullptr, fields);
        return ok ? out : QStringList{QStringLiteral("failed")};
    };

    // Dense: one pass over the id range.
    AddressRowModel dense;
    QVERIFY(dense.load(db, QStringLiteral("SELECT 宛先ID FROM 宛先 WHERE 宛先ID BETWEEN 3 AND 7 ORDER BY 宛先ID"), {}));
    QCOMPARE(walk(dense), (QStringList{QStringLiteral("3:1:名3:text:名簿"), QStringLiteral("4:0:名4:text:名簿"),
                                       QStringLiteral("5:1:名5:null:名簿"), QStringLiteral("6:0:名6:text:名簿"),
                                       QStringLiteral("7:1:名7:text:名簿")}));
    const unsigned names = (1u << AddressRowModel::ColName1) | (1u << AddressRowModel::ColName2);
    QCOMPARE(walk(dense, names).first(), QStringLiteral("3:1:名3:text:-"));

    // Sparse: row by row.
    AddressRowModel sparse;
    QVERIFY(
        sparse.load(db, QStringLiteral("SELECT 宛先ID FROM 宛先 WHERE 宛先ID IN (2, 500, 999) ORDER BY 宛先ID"), {}));
    QCOMPARE(walk(sparse), (QStringList{QStringLiteral("2:0:名2:text:名簿"), QStringLiteral("500:0:名500:null:名簿"),
                                        QStringLiteral("999:1:名999:text:名簿")}));

    // Rows another program deleted after the search are passed over.
    {
        AddressDb other;
        QVERIFY(other.open(path, false));
        QVERIFY(other.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID IN (5, 500)")));
    }
    QCOMPARE(walk(dense).size(), 4);
    QCOMPARE(walk(sparse), (QStringList{QStringLiteral("2:0:名2:text:名簿"), QStringLiteral("999:1:名999:text:名簿")}));
    QCOMPARE(sparse.count(), 3);
    QVERIFY(sparse.text(1, AddressRowModel::ColName1).isNull());
    QCOMPARE(sparse.text(2, AddressRowModel::ColName1), QStringLiteral("名999"));

    // The whole table through the grid's block reads.
    AddressRowModel all;
    QVERIFY(all.load(db, QStringLiteral("SELECT * FROM 宛先 Order by 宛先ID"), {}));
    QCOMPARE(all.count(), 998);
    for (int i = 0; i < all.count(); i += 97)
        QCOMPARE(all.text(i, AddressRowModel::ColAddress), QStringLiteral("u%1@example.jp").arg(all.id(i)));
    QCOMPARE(walk(all).size(), 998);

    db.close();
    QCOMPARE(walk(all), QStringList{QStringLiteral("failed")});
}

QTEST_GUILESS_MAIN(TestAddressDb)
#include "tst_addressdb.moc"
