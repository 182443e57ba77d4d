// Whole-file operations of the address book on real SQLite files, without
// the window.

#include "addressfixture.h"
#include "databasefiles.h"
#include "dbstatement.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using Ids = QList<qint64>;

namespace {

const Ids kAll{1, 2, 3, 4, 5, 6, 7};

// The ids the connection sees; {-1} when it reads nothing.
Ids idsThrough(AddressDb &db)
{
    DbStatement st(db, "SELECT 宛先ID FROM 宛先 ORDER BY 宛先ID");
    Ids out;
    while (st.step() == DbStatement::Row)
        out << st.int64(0);
    return st.isValid() ? out : Ids{-1};
}

// book.cdb with the sample rows, open, in a folder that is also the
// program's.
struct Book {
    Book()
    {
        if (makeAddressDb(current, sampleRows()))
            db.open(current, false);
    }
    QTemporaryDir dir;
    QString current = dir.filePath(QStringLiteral("book.cdb"));
    AddressDb db;
    DatabaseFiles files{db, dir.filePath(QStringLiteral("Quillpost.cdb"))};
};

} // namespace

class TestDatabaseFiles : public QObject {
    Q_OBJECT
private slots:
    void aFileThatWontOpenLeavesTheConnectionOnTheOneInUse_data();
    void aFileThatWontOpenLeavesTheConnectionOnTheOneInUse();
};

void TestDatabaseFiles::aFileThatWontOpenLeavesTheConnectionOnTheOneInUse_data()
{
    QTest::addColumn<bool>("saveAs"); // a copy of the file in use, or a change of file
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // "db": an address database of rows 5 and 6; empty: no file
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<Ids>("seen"); // through the connection afterwards

    QTest::newRow("address database") << false << "other.cdb" << QByteArray("db") << true << false << Ids{5, 6};
    QTest::newRow("picture renamed .cdb")
        << false << "photo.cdb" << QByteArray::fromHex("89504e470d0a1a0a") << false << false << kAll;
    QTest::newRow("missing file") << false << "gone.cdb" << QByteArray() << false << true << kAll;
    // Only the database beside the program is made when it is not there.
    QTest::newRow("missing default") << false << "Quillpost.cdb" << QByteArray() << true << false << Ids{};
    QTest::newRow("copy over a file") << true << "copy.cdb" << QByteArray("keep me") << true << false << kAll;
    QTest::newRow("copy into no folder") << true << "no-folder/copy.cdb" << QByteArray() << false << false << kAll;
}

void TestDatabaseFiles::aFileThatWontOpenLeavesTheConnectionOnTheOneInUse()
{
    QFETCH(bool, saveAs);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(bool, missing);
    QFETCH(Ids, seen);

    Book b;
    const QString other = b.dir.filePath(name);
    if (bytes == "db")
        QVERIFY(makeAddressDb(other, sampleRows().mid(4, 2)));
    else if (!bytes.isEmpty())
        writeBytes(other, bytes);

    const DatabaseFileResult r = saveAs ? b.files.saveAs(b.current, other) : b.files.switchTo(b.current, other);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.missing, missing);
    QCOMPARE(r.error.isEmpty(), ok);
    QCOMPARE(idsThrough(b.db), seen);
    // A change lands in the file the connection moved to, and only there.
    QVERIFY(b.db.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID = 1")));
    QCOMPARE(queryIds(b.current).size(), ok ? 7 : 6);
    if (bytes != "db" && !bytes.isEmpty() && !ok)
        QCOMPARE(readBytes(other), bytes);
}

QTEST_GUILESS_MAIN(TestDatabaseFiles)
#include "tst_databasefiles.moc"
