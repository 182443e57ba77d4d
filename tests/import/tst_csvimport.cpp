// Reading address files and storing their rows, without the window.

#include "addressdb.h"
#include "csvimport.h"
#include "dbstatement.h"
#include "testutil.h"
#include "textfile.h"

#include <QtTest>
#include <sqlite3.h>

namespace {

struct StoredRow {
    qint64 id;
    QVariant flag;
    QString category, name1, name2, address, date;
    QVariant memo;
};

QVariant column(sqlite3_stmt *st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL: return {};
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(st, i)));
    default: return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)));
    }
}

// The file as another connection reads it.
QList<StoredRow> storedRows(AddressDb &db)
{
    QList<StoredRow> out;
    sqlite3 *h = nullptr;
    sqlite3_open(db.path().toUtf8().constData(), &h);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(h, "SELECT * FROM 宛先 ORDER BY 宛先ID", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.append({sqlite3_column_int64(st, 0), column(st, 1), column(st, 2).toString(), column(st, 3).toString(),
                    column(st, 4).toString(), column(st, 5).toString(), column(st, 6).toString(), column(st, 7)});
    sqlite3_finalize(st);
    sqlite3_close(h);
    return out;
}

void exec(AddressDb &db, const char *sql)
{
    sqlite3 *h = nullptr;
    sqlite3_open(db.path().toUtf8().constData(), &h);
    char *msg = nullptr;
    const int rc = sqlite3_exec(h, sql, nullptr, nullptr, &msg);
    sqlite3_close(h);
    QVERIFY2(rc == SQLITE_OK, msg);
}

ImportRow row(const QString &a, const QString &b, const QString &c)
{
    return {a, b, c};
}

} // namespace

class tst_CsvImport : public QObject {
    Q_OBJECT
private slots:
    void readsRecordsAndNormalisesAddresses();
    void streamReadingShiftsAndFailsAtEnd();
    void duplicatesBeyondSixteenBitCounts();
    void encodings();
    void largeFilesAreReadInPieces_data();
    void largeFilesAreReadInPieces();
    void overlongLineOrRecordOrFileStopsBeforeMemoryGrows_data();
    void overlongLineOrRecordOrFileStopsBeforeMemoryGrows();
    void storedFormOfCells();
    void commitChecksCategory();
    void commitContinuesIds();
    void failedInsertIsSkippedAndCounted();
    void transactionGivenUpStoresNothing();
};

void tst_CsvImport::readsRecordsAndNormalisesAddresses()
{
    // One clean line.
    ImportPreview p = previewImportText(QStringLiteral("山田太郎,営業部,taro@example.jp\r\n"));
    QVERIFY(!p.failed);
    QCOMPARE(p.usable, QList<ImportRow>{row(QStringLiteral("山田太郎"), QStringLiteral("営業部"),
                                            QStringLiteral("taro@example.jp"))});
    QVERIFY(p.rejected.isEmpty());
    QVERIFY(p.duplicates.isEmpty());

    // Full-width letters with the full-width at sign, upper case, a header
    // line, a quoted field with a comma, a tab inside a value.
    p = previewImportText(QStringLiteral("宛先1,宛先2,メールアドレス\r\n"
                                         "ハナコ,\"経理部, 本社\",ＨＡＮＡＫＯ＠ＥＸＡＭＰＬＥ．ＪＰ\r\n"
                                         "Ichiro,Sales,Ichiro.Suzuki@Example.COM\r\n"
                                         "Tab\tInside,x,tab@example.jp\r\n"));
    QVERIFY(!p.failed);
    // The rejected address is shown normalised too: narrowed katakana.
    QCOMPARE(p.rejected,
             QList<ImportRow>{row(QStringLiteral("宛先1"), QStringLiteral("宛先2"), QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽ"))});
    QCOMPARE(p.usable.size(), 3);
    QCOMPARE(p.usable.at(0),
             row(QStringLiteral("ハナコ"), QStringLiteral("経理部, 本社"), QStringLiteral("hanako@example.jp")));
    QCOMPARE(p.usable.at(1).address, QStringLiteral("ichiro.suzuki@example.com"));
    QCOMPARE(p.usable.at(2).name1, QStringLiteral("Tab\tInside"));
    QCOMPARE(p.usable.at(2).name2, QStringLiteral("x"));
    QCOMPARE(p.sortedAddresses(),
             QStringList({QStringLiteral("hanako@example.jp"), QStringLiteral("ichiro.suzuki@example.com"),
                          QStringLiteral("tab@example.jp")}));

    // The same address three times: three rows, two duplicate entries.
    // Blanks after an address (the commit trims them) make no other address.
    p = previewImportText(QStringLiteral("a,,same@example.jp\r\nb,,other@example.jp\r\n"
                                         "c,,SAME@example.jp  \r\nd,,ｓａｍｅ＠example.jp　\r\n"));
    QCOMPARE(p.usable.size(), 4);
    QCOMPARE(p.usable.at(3).address, QStringLiteral("same@example.jp"));
    QCOMPARE(p.duplicates, QStringList({QStringLiteral("same@example.jp"), QStringLiteral("same@example.jp")}));
}

void tst_CsvImport::streamReadingShiftsAndFailsAtEnd()
{
    // The second line lacks its address: the third line's first field takes
    // its place, and the input then ends inside a record.
    const ImportPreview p = previewImportText(QStringLiteral("a,b,a@example.jp\r\n"
                                                             "c,d\r\n"
                                                             "e@example.jp,f,g@example.jp\r\n"));
    QVERIFY(p.failed);
    QVERIFY(!p.error.isEmpty());
    QCOMPARE(p.usable.size(), 2);
    QCOMPARE(p.usable.at(1), row(QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e@example.jp")));
    QCOMPARE(p.sortedAddresses().size(), 2);
    QVERIFY(p.duplicates.isEmpty());

    // An empty line is one empty field and shifts the reading too.
    const ImportPreview q = previewImportText(QStringLiteral("a,b,c@x\r\n\r\nd,e,f@x\r\n"));
    QVERIFY(q.failed);
    QCOMPARE(q.usable.size(), 1);
    QCOMPARE(q.rejected, QList<ImportRow>{row(QString(), QStringLiteral("d"), QStringLiteral("e"))});
}

void tst_CsvImport::largeFilesAreReadInPieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // empty: the file is in no known encoding
    // Past the first piece of the reader, so the file is read in several.
    QString rows;
    for (int i = 0; rows.size() < 1200000; ++i)
        rows += QStringLiteral("n%1, \"quoted,\r\nname\",u%1@example.jp\r\n").arg(i);
    const QString japanese = rows + QStringLiteral("山田太郎,営業部,ｙａｍａｄａ＠example.jp\r\n");
    QTest::newRow("code page 932") << sjis(japanese) << japanese;
    QTest::newRow("UTF-8, first multi-byte character late") << japanese.toUtf8() << japanese;
    QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF") + japanese.toUtf8() << japanese;
    // Short lines up to one byte before the end of the first piece, so the
    // first byte of 山 ends it.
    const QString filler = QStringLiteral("n,,x\r\n");
    QString across = filler.repeated((TextFileStream::kBlock - 1) / filler.size() - 1);
    across += QString(TextFileStream::kBlock - 1 - across.size(), QLatin1Char('a')) + QStringLiteral("山田,b,c@x\r\n")
              + rows;
    QTest::newRow("UTF-8, a character across the end of a piece") << across.toUtf8() << across;
    QTest::newRow("a bad byte late") << sjis(rows) + QByteArray("x,y,\x80@x\r\n") << QString();
}

void tst_CsvImport::largeFilesAreReadInPieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    TestWorld w;
    writeBytes(w.path("big.csv"), bytes);
    const ImportPreview p = previewImportFile(w.path("big.csv"));
    if (text.isEmpty()) {
        QVERIFY(p.failed && p.encodingUnknown);
        QVERIFY(p.usable.isEmpty() && p.rejected.isEmpty());
        return;
    }
    const ImportPreview whole = previewImportText(text);
    QVERIFY2(!p.failed, qPrintable(p.error));
    QVERIFY(p.usable.size() > 20000);
    QVERIFY(p.usable == whole.usable);
    QCOMPARE(p.usable.at(0).name1, whole.usable.at(0).name1);
}

Q_DECLARE_METATYPE(ListLimit)

void tst_CsvImport::overlongLineOrRecordOrFileStopsBeforeMemoryGrows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("sparseSize"); // > 0: a file of this size with no bytes written
    QTest::addColumn<ListLimit>("limit");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<int>("usable"); // rows kept from before the stop

    const QByteArray twoRows("a,,a@x\r\nb,,b@x\r\n");
    auto lineOf = [](qsizetype bytes) { return QByteArray(bytes - 5, 'n') + ",,n@x"; };
    QTest::newRow("a line of 64 KB") << twoRows + lineOf(kMaxLineBytes) + "\r\n"
                                     << qint64(0) << ListLimit::None << qint64(0) << 3;
    QTest::newRow("a line one byte longer") << twoRows + lineOf(kMaxLineBytes + 1) + "\r\nc,,c@x\r\n"
                                            << qint64(0) << ListLimit::Line << qint64(3) << 2;
    QTest::newRow("no line end in several pieces")
        << QByteArray(3 * TextFileStream::kBlock, 'x') << qint64(0) << ListLimit::Line << qint64(1) << 0;
    QTest::newRow("lone CR line ends") << QByteArray("a,,a@x\r").repeated(20000) << qint64(0) << ListLimit::None
                                       << qint64(0) << 20000;
    // Stopped where the record passes the limit, not at the long line after it.
    QTest::newRow("a quote that never closes")
        << twoRows + "\"" + QByteArray("x\r\n").repeated(30000) + lineOf(kMaxLineBytes + 1) << qint64(0)
        << ListLimit::Record << qint64(3) << 2;
    QTest::newRow("a quoted record over many short lines")
        << twoRows + "\"" + QByteArray("x\r\n").repeated(25000) + "\",b,c@x\r\n"
        << qint64(0) << ListLimit::Record << qint64(3) << 2;
    QTest::newRow("a file over 256 MB") << QByteArray() << kMaxListFileBytes + 1 << ListLimit::File << qint64(0) << 0;
}

void tst_CsvImport::overlongLineOrRecordOrFileStopsBeforeMemoryGrows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, sparseSize);
    QFETCH(ListLimit, limit);
    QFETCH(qint64, at);
    QFETCH(int, usable);
    TestWorld w;
    const QString path = w.path("list.csv");
    writeBytes(path, bytes);
    if (sparseSize > 0)
        QVERIFY(QFile::resize(path, sparseSize));
    const ImportPreview p = previewImportFile(path);
    QCOMPARE(p.overLimit, limit);
    QCOMPARE(p.overLimitAt, at);
    QCOMPARE(p.failed, limit != ListLimit::None);
    QCOMPARE(p.usable.size(), usable);
    if (limit != ListLimit::None)
        QVERIFY2(p.error.contains(path) || limit == ListLimit::Record, qPrintable(p.error));
}

void tst_CsvImport::duplicatesBeyondSixteenBitCounts()
{
    QString text;
    const int n = 40000;
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("n,,u%1@example.jp\r\n").arg(i, 5, 10, QLatin1Char('0'));
    text += QStringLiteral("late,,u39999@example.jp\r\nlate,,zz@example.jp\r\nlate,,zz@example.jp\r\n");
    const ImportPreview p = previewImportText(text);
    QVERIFY(!p.failed);
    QCOMPARE(p.usable.size(), n + 3);
    QCOMPARE(p.duplicates, QStringList({QStringLiteral("u39999@example.jp"), QStringLiteral("zz@example.jp")}));
}

void tst_CsvImport::encodings()
{
    TestWorld w;
    const QString line = QStringLiteral("ｶﾞｯｺｳ髙橋,①号室,ｔａｒｏ＠example.jp\r\n");

    writeBytes(w.path("cp932.csv"), sjis(line));
    ImportPreview p = previewImportFile(w.path("cp932.csv"));
    QVERIFY2(!p.failed, qPrintable(p.error));
    QCOMPARE(p.usable.value(0),
             row(QStringLiteral("ｶﾞｯｺｳ髙橋"), QStringLiteral("①号室"), QStringLiteral("taro@example.jp")));

    // What spreadsheet programs write as "CSV UTF-8".
    writeBytes(w.path("utf8.csv"), QByteArray("\xEF\xBB\xBF") + line.toUtf8());
    p = previewImportFile(w.path("utf8.csv"));
    QVERIFY2(!p.failed, qPrintable(p.error));
    QCOMPARE(p.usable.value(0).name1, QStringLiteral("ｶﾞｯｺｳ髙橋"));

    // UTF-8 without the mark, as Linux editors write it.
    writeBytes(w.path("plain-utf8.csv"), QStringLiteral("山田,x,a@x\r\n").toUtf8());
    p = previewImportFile(w.path("plain-utf8.csv"));
    QVERIFY2(!p.failed, qPrintable(p.error));
    QCOMPARE(p.usable.value(0).name1, QStringLiteral("山田"));

    // Bytes that are not valid in the file's encoding.
    writeBytes(w.path("bad932.csv"), sjis(QStringLiteral("山田,")) + QByteArray("\x81\x20,a@x\r\n"));
    p = previewImportFile(w.path("bad932.csv"));
    QVERIFY(p.failed && p.encodingUnknown);
    QVERIFY(p.usable.isEmpty() && p.rejected.isEmpty());
    writeBytes(w.path("badutf8.csv"), QByteArray("\xEF\xBB\xBF\xE5\xB1,x,a@x\r\n"));
    QVERIFY(previewImportFile(w.path("badutf8.csv")).failed);

    QVERIFY(previewImportFile(w.path("missing.csv")).failed);

    // The sample that comes with the program walks every case once.
    p = previewImportFile(QStringLiteral(QUILLPOST_SOURCE_DIR "/samples/import-sample.csv"));
    QVERIFY2(!p.failed, qPrintable(p.error));
    QCOMPARE(p.usable.size(), 7);
    QCOMPARE(p.rejected.size(), 1);
    QCOMPARE(p.duplicates, QStringList{QStringLiteral("misaki.tanaka@example.com")});
    QCOMPARE(p.usable.at(1).address, QStringLiteral("hanako.yamada@example.com"));
    QCOMPARE(p.usable.at(2).name1, QStringLiteral("総務課, 本社"));
    QCOMPARE(p.usable.at(2).name2, QStringLiteral("鈴木一郎"));
}

void tst_CsvImport::storedFormOfCells()
{
    const QString sixty = QString(60, QChar(0x5C71));
    QCOMPARE(storedName(sixty), QString(50, QChar(0x5C71)));
    // Cut first, then trimmed: blanks at position 50 and beyond vanish.
    QCOMPARE(storedName(QStringLiteral("  ") + QString(47, QLatin1Char('a')) + QStringLiteral("   tail")),
             QString(47, QLatin1Char('a')));
    // Only U+0020 is trimmed.
    QCOMPARE(storedName(QStringLiteral("\u3000名前 ")), QStringLiteral("\u3000名前"));
    QCOMPARE(storedAddress(QStringLiteral(" Mixed.Case@Example.JP ")), QStringLiteral("mixed.case@example.jp"));
    // A surrogate pair across the cut is not split.
    const QString emoji = QString(49, QLatin1Char('x')) + QString::fromUtf8("\xF0\x9F\x98\x80");
    QCOMPARE(storedName(emoji), QString(49, QLatin1Char('x')));
}

void tst_CsvImport::commitChecksCategory()
{
    TestWorld w;
    AddressDb db;
    QVERIFY(db.open(w.path("a.cdb"), true));
    exec(db, "INSERT INTO 宛先 VALUES (7, 1, 'O''Brien 春', 'x', '', 'x@x', '2005/03/01', NULL)");
    ImportCommitter c(&db);
    const ImportRows rows{row(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c@x"))};
    const QDate today(2005, 4, 1);

    QCOMPARE(c.commit(QString(), rows, today).outcome, ImportCommitResult::EmptyCategory);
    // An apostrophe in the name is compared, not pasted into the statement.
    QVERIFY(c.categoryInUse(QStringLiteral("O'Brien 春")));
    QCOMPARE(c.commit(QStringLiteral("O'Brien 春"), rows, today).outcome, ImportCommitResult::CategoryInUse);
    QVERIFY(!c.categoryInUse(QStringLiteral("O'Brien")));
    // Letter case aside, as the address book's search compares.
    QVERIFY(c.categoryInUse(QStringLiteral("o'brien 春")));
    QVERIFY(!c.categoryInUse(QStringLiteral("' OR ''='")));
    QCOMPARE(storedRows(db).size(), 1);

    // A new name with nothing to store.
    const ImportCommitResult r = c.commit(QStringLiteral("新"), {}, today);
    QCOMPARE(r.outcome, ImportCommitResult::Committed);
    QCOMPARE(r.stored, 0);
    QCOMPARE(storedRows(db).size(), 1);
}

void tst_CsvImport::commitContinuesIds()
{
    TestWorld w;
    AddressDb db;
    QVERIFY(db.open(w.path("a.cdb"), true));
    ImportCommitter c(&db);
    const QDate today(2005, 4, 1);

    ImportCommitResult r = c.commit(QStringLiteral("最初"), {row(QStringLiteral("一"), {}, QStringLiteral("one@x"))},
                                    today);
    QCOMPARE(r.stored, 1);
    QCOMPARE(storedRows(db).value(0).id, 1);

    // The connection keeps its own cache size after a commit.
    QVERIFY(db.exec(QStringLiteral("PRAGMA cache_size = -1234")));
    auto cacheSize = [&] {
        DbStatement st(db, QByteArrayView("PRAGMA cache_size"));
        return st.step() == DbStatement::Row ? int(st.int64(0)) : 0;
    };
    exec(db, "DELETE FROM 宛先; INSERT INTO 宛先 VALUES (41, 0, '古い', 'x', '', 'x@x', '2005/03/01', 'memo');"
             "INSERT INTO 宛先 VALUES (3, 1, '古い', 'y', '', 'y@x', '2005/03/01', NULL)");
    const QString sixty = QString(60, QChar(0x30A2));
    r = c.commit(QStringLiteral(" 春の案内 "),
                 {row(sixty, QStringLiteral("  営業部 "), QStringLiteral("  taro@example.jp ")),
                  row(QStringLiteral("b"), QString(), QStringLiteral("same@x")),
                  row(QStringLiteral("c"), QString(), QStringLiteral("same@x"))},
                 today);
    QCOMPARE(r.outcome, ImportCommitResult::Committed);
    QCOMPARE(r.stored, 3);
    QCOMPARE(r.notStored, 0);
    QCOMPARE(r.firstId, 42);
    QCOMPARE(cacheSize(), -1234);
    const QList<StoredRow> rows = storedRows(db);
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.at(2).id, 42);
    QCOMPARE(rows.at(3).id, 43);
    QCOMPARE(rows.at(4).id, 44);
    const StoredRow &first = rows.at(2);
    QCOMPARE(first.flag, QVariant(qint64(1)));
    QCOMPARE(first.category, QStringLiteral(" 春の案内 "));
    QCOMPARE(first.name1, QString(50, QChar(0x30A2)));
    QCOMPARE(first.name2, QStringLiteral("営業部"));
    QCOMPARE(first.address, QStringLiteral("taro@example.jp"));
    QCOMPARE(first.date, QStringLiteral("2005/04/01"));
    QVERIFY(first.memo.isNull());
    // The rows already there are untouched.
    QCOMPARE(rows.at(1).flag, QVariant(qint64(0)));
    QCOMPARE(rows.at(1).memo, QVariant(QStringLiteral("memo")));
}

void tst_CsvImport::failedInsertIsSkippedAndCounted()
{
    TestWorld w;
    AddressDb db;
    QVERIFY(db.open(w.path("a.cdb"), true));
    exec(db, "INSERT INTO 宛先 VALUES (10, 1, '古い', 'x', '', 'x@x', '2005/03/01', NULL);"
             "CREATE TRIGGER refuse BEFORE INSERT ON 宛先 WHEN NEW.メールアドレス = 'bad@x' "
             "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    ImportCommitter c(&db);
    const ImportCommitResult r = c.commit(QStringLiteral("二"),
                                          {row(QStringLiteral("a"), {}, QStringLiteral("a@x")),
                                           row(QStringLiteral("b"), {}, QStringLiteral("bad@x")),
                                           row(QStringLiteral("c"), {}, QStringLiteral("c@x"))},
                                          QDate(2005, 4, 1));
    QCOMPARE(r.stored, 2);
    QCOMPARE(r.notStored, 1);
    QVERIFY(r.error.contains(QStringLiteral("refused")));
    const QList<StoredRow> rows = storedRows(db);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).name1, QStringLiteral("x"));
    // The refused row takes no ID, as the next row reads the largest again.
    QCOMPARE(rows.at(1).id, 11);
    QCOMPARE(rows.at(1).name1, QStringLiteral("a"));
    QCOMPARE(rows.at(2).id, 12);
    QCOMPARE(rows.at(2).name1, QStringLiteral("c"));
}

void tst_CsvImport::transactionGivenUpStoresNothing()
{
    TestWorld w;
    AddressDb db;
    QVERIFY(db.open(w.path("a.cdb"), true));
    exec(db, "CREATE TRIGGER refuse BEFORE INSERT ON 宛先 WHEN NEW.メールアドレス = 'bad@x' "
             "BEGIN SELECT RAISE(ROLLBACK, 'gone'); END;");
    ImportCommitter c(&db);
    const ImportCommitResult r = c.commit(QStringLiteral("三"),
                                          {row(QStringLiteral("a"), {}, QStringLiteral("a@x")),
                                           row(QStringLiteral("b"), {}, QStringLiteral("bad@x")),
                                           row(QStringLiteral("c"), {}, QStringLiteral("c@x"))},
                                          QDate(2005, 4, 1));
    QCOMPARE(r.stored, 0);
    QCOMPARE(r.notStored, 3);
    QVERIFY(storedRows(db).isEmpty());
    QVERIFY(!db.inTransaction());

    // No database at all: nothing stored, every row counted.
    const ImportCommitResult none = ImportCommitter(nullptr).commit(
        QStringLiteral("四"), {row(QStringLiteral("a"), {}, QStringLiteral("a@x"))}, QDate(2005, 4, 1));
    QCOMPARE(none.outcome, ImportCommitResult::Committed);
    QCOMPARE(none.notStored, 1);
}

QTEST_GUILESS_MAIN(tst_CsvImport)
#include "tst_csvimport.moc"
