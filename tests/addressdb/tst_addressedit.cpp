// Editing, adding and exporting recipients on real SQLite files; the export
// read back by the import.

#include "addressedit.h"
#include "addressexport.h"
#include "addressfixture.h"
#include "addressrowmodel.h"
#include "csvimport.h"
#include "dbstatement.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using M = AddressRowModel;

namespace {

// Every row, each value as SQLite quotes it, so equal dumps mean equal
// values of equal types.
QStringList dump(const QString &path)
{
    AddressDb db;
    if (!db.open(path, false))
        return {QStringLiteral("unreadable")};
    DbStatement st(db, "SELECT quote(宛先ID)||'|'||quote(送信区分)||'|'||quote(インポート区分名)||'|'||quote(宛先1)"
                       "||'|'||quote(宛先2)||'|'||quote(メールアドレス)||'|'||quote(登録日)||'|'||quote(メモ) "
                       "FROM 宛先 ORDER BY 宛先ID");
    QStringList out;
    while (st.step() == DbStatement::Row)
        out << st.text(0);
    return out;
}

struct Book {
    explicit Book(const QList<AddrRow> &rows = sampleRows())
    {
        path = dir.filePath(QStringLiteral("book.cdb"));
        makeAddressDb(path, rows);
        db.open(path, false);
        model.load(db, QStringLiteral("SELECT 宛先ID FROM 宛先 ORDER BY 宛先ID"), {});
    }
    QTemporaryDir dir;
    QString path;
    AddressDb db;
    AddressRowModel model;
};

} // namespace

class TestAddressEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { AddressDb::setBusyTimeoutMs(50); }
    void enteredTextIsStoredByTheRules_data();
    void enteredTextIsStoredByTheRules();
    void failedWriteChangesNothing_data();
    void failedWriteChangesNothing();
    void addedRecipientTakesTheNextId_data();
    void addedRecipientTakesTheNextId();
    void exportReadsBackThroughTheImport_data();
    void exportReadsBackThroughTheImport();
    void failedExportLeavesNoFile();
};

void TestAddressEdit::enteredTextIsStoredByTheRules_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("quoted"); // the cell as dump() shows it; empty: refused
    QTest::addColumn<QString>("message");
    auto row = [](const char *name, M::Column c, const QString &in, const QString &quoted, const char *message) {
        QTest::newRow(name) << int(c) << in << quoted << QString::fromUtf8(message);
    };
    row("full-width address", M::ColAddress, "ＴＡＲＯ＠ＥＸＡＭＰＬＥ．ＪＰ ", "'taro@example.jp'", "");
    row("address of 51", M::ColAddress, QString(48, u'a') + "@jp", "", "50文字以内");
    row("empty address", M::ColAddress, "　 ", "", "メールアドレスを入力");
    row("no at sign", M::ColAddress, "taro.example.jp", "", "「@」がありません");
    row("header in address", M::ColAddress, "a@b.jp\r\nBcc: c@d.jp", "", "改行");
    // What the send would refuse is not stored either.
    row("blank in address", M::ColAddress, "taro @example.jp", "", "（空白が含まれています）");
    row("two at signs", M::ColAddress, "a@b@example.jp", "", "（「@」がひとつではありません）");
    row("nothing before @", M::ColAddress, "＠example.jp", "", "（「@」の前か後が空です）");
    row("angle brackets", M::ColAddress, "<taro@example.jp>", "", "（「<」か「>」が含まれています）");
    row("invalid domain", M::ColAddress, "taro@-日本.jp", "", "（ドメイン名が正しくありません）");
    row("domain in Japanese", M::ColAddress, "Taro@日本.jp", "'taro@日本.jp'", "");
    row("name of 200", M::ColName1, QString(200, u'山'), "'" + QString(50, u'山') + "'", "宛先1は50文字まで");
    row("pair at the cut", M::ColName2, QString(49, u'a') + "𠮷b", "'" + QString(49, u'a') + "'", "宛先2は50文字まで");
    row("apostrophe", M::ColCategory, "O'Brien's 展示会", "'O''Brien''s 展示会'", "");
    row("empty category", M::ColCategory, "   ", "", "インポート区分名を入力");
    row("memo", M::ColMemo, "要連絡\n" + QString(300, u'x'), "'要連絡\n" + QString(300, u'x') + "'", "");
    row("empty memo", M::ColMemo, "", "NULL", "");
    row("date column", M::ColDate, "2024/01/01", "", "変更できません");
}

void TestAddressEdit::enteredTextIsStoredByTheRules()
{
    QFETCH(int, column);
    QFETCH(QString, entered);
    QFETCH(QString, quoted);
    QFETCH(QString, message);
    Book book;
    QStringList expected = dump(book.path);
    const RecipientEdit edit = book.model.setText(book.db, 1, M::Column(column), entered);
    QVERIFY2(message.isEmpty() ? edit.message.isEmpty() : edit.message.contains(message), qPrintable(edit.message));
    QCOMPARE(edit.ok, !quoted.isEmpty());
    if (edit.ok) {
        QStringList cells = expected[1].split(u'|');
        cells[column] = quoted;
        expected[1] = cells.join(u'|');
        QCOMPARE(book.model.text(1, M::Column(column)), edit.value);
        // The import stores the same text for the same field.
        if (column == M::ColAddress)
            QCOMPARE(edit.value, normaliseAddress(entered));
        else if (column != M::ColMemo)
            QCOMPARE(edit.value, storedName(entered));
    }
    QCOMPARE(dump(book.path), expected);
    if (column == M::ColAddress) {
        // Adding a recipient by hand takes the same rule.
        const RecipientEdit added = addRecipient(book.db, {"手入力", "", "", entered, ""}, QDate(2024, 3, 5));
        QCOMPARE(added.ok, edit.ok);
        QCOMPARE(added.message, edit.message);
        QCOMPARE(dump(book.path).size(), expected.size() + (added.ok ? 1 : 0));
    }
}

void TestAddressEdit::failedWriteChangesNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::newRow("row gone") << "row gone"
                              << "この宛先はデータベースにありません。";
    QTest::newRow("locked") << "locked"
                            << "database is locked";
    QTest::newRow("file deleted") << "file deleted"
                                  << "データベースファイルが見つかりません。";
}

void TestAddressEdit::failedWriteChangesNothing()
{
    QFETCH(QString, situation);
    QFETCH(QString, message);
    Book book;
    AddressDb other;
    QVERIFY(other.open(book.path, false));
    std::optional<DbTransaction> hold;
    if (situation == "locked")
        QVERIFY(hold.emplace(other).isActive());
    else if (situation == "row gone")
        QVERIFY(other.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID = 1")));
    else
        QVERIFY(QFile::remove(book.path));
    const QStringList before = dump(book.path);

    const RecipientEdit edit = storeRecipientField(book.db, 1, M::ColAddress, QStringLiteral("new@example.jp"));
    QVERIFY2(!edit.ok && edit.message.contains(message), qPrintable(edit.message));
    if (situation != "row gone")
        QVERIFY(!addRecipient(book.db, {"展示会", "", "", "new@example.jp", ""}, QDate(2024, 3, 5)).ok);
    hold.reset();
    other.close();
    if (situation == "file deleted")
        QCOMPARE(QDir(book.dir.path()).entryList(QDir::Files), QStringList());
    else
        QCOMPARE(dump(book.path), before);
}

void TestAddressEdit::addedRecipientTakesTheNextId_data()
{
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("next");
    QTest::newRow("empty table") << QList<qint64>{} << qint64(1);
    QTest::newRow("largest 41") << QList<qint64>{41, 3} << qint64(42);
}

void TestAddressEdit::addedRecipientTakesTheNextId()
{
    QFETCH(QList<qint64>, ids);
    QFETCH(qint64, next);
    QList<AddrRow> rows;
    for (qint64 id : ids)
        rows << AddrRow{id, 1, s("名簿"), s("a"), s("b"), s("x@example.jp"), s("2005/04/01"), null()};
    Book book(rows);
    const NewRecipient entered{"O'Brien 展示会", QString(60, u'山'), "", "ＴＡＲＯ＠ＥＸＡＭＰＬＥ．ＪＰ", ""};
    const RecipientEdit added = addRecipient(book.db, entered, QDate(2024, 3, 5));
    QVERIFY2(added.ok && added.shortened, qPrintable(added.message));
    QCOMPARE(added.id, next);
    QCOMPARE(dump(book.path).last(),
             QStringLiteral("%1|1|'O''Brien 展示会'|'%2'|''|'taro@example.jp'|'2024/03/05'|NULL")
                 .arg(next)
                 .arg(QString(50, u'山')));
    QVERIFY(addressStored(book.db, QStringLiteral("Taro@Example.JP ")));
    QVERIFY(!addressStored(book.db, QStringLiteral("taro@example.jp"), next));
}

void TestAddressEdit::exportReadsBackThroughTheImport_data()
{
    QTest::addColumn<QStringList>("names");    // as stored, a name line each
    QTest::addColumn<QStringList>("readBack"); // as the import reads them
    QTest::addColumn<QString>("unwritable");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("outside code page 932")
        << QStringList{"𠮷野家, 本店", "😀 \"smile\"", "  José", "line\r\nbreak", "tab\tend  ", ""}
        << QStringList{"𠮷野家, 本店", "😀 ＂smile＂", "  José", "line\r\nbreak", "tab\tend  ", ""}
        << QStringLiteral("𠮷😀é") << QByteArray("\xEF\xBB\xBF\"\xF0\xA0\xAE\xB7");
    QTest::newRow("code page 932")
        << QStringList{"山田 太郎", "営業部, 第一課", "\"佐藤\" 様", " ｶﾀｶﾅ①", "　全角", ""}
        << QStringList{"山田 太郎", "営業部, 第一課", "＂佐藤＂ 様", " ｶﾀｶﾅ①", "　全角", ""} << QString()
        << QByteArray(
               "\x8E\x52\x93\x63\x20\x91\xBE\x98\x59,\"\x89\x63\x8B\xC6\x95\x94, \x91\xE6\x88\xEA\x89\xDB\",taro0@");
}

void TestAddressEdit::exportReadsBackThroughTheImport()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, readBack);
    QFETCH(QString, unwritable);
    QFETCH(QByteArray, head);
    QList<AddrRow> rows;
    QList<RecipientFields> expected;
    for (int i = 0; i < 1000; ++i) {
        const qsizetype a = i % names.size(), b = (i + 1) % names.size();
        const QString address = QStringLiteral("taro%1@example.jp").arg(i);
        // An empty name is stored NULL: it is written empty.
        rows << AddrRow{i + 1,    1,       s("c"),          names[a].isEmpty() ? null() : QVariant(names[a]),
                        names[b], address, s("2005/04/01"), null()};
        expected << RecipientFields{readBack[a], readBack[b], address};
    }
    Book book(rows);
    const RecipientSource source = recipientsOf(book.model);
    QString chars;
    const std::optional<bool> fits = exportFitsCp932(source, &chars);
    QVERIFY(fits);
    QCOMPARE(*fits, unwritable.isEmpty());
    QCOMPARE(chars, unwritable);
    const QString file = book.dir.filePath(QStringLiteral("out.csv"));
    const auto encoding = unwritable.isEmpty() ? ExportEncoding::Cp932 : ExportEncoding::Utf8WithBom;
    QString error;
    QVERIFY2(exportRecipients(file, source, encoding, &error), qPrintable(error));
    QVERIFY(readBytes(file).startsWith(head));
    // Customer addresses: readable by the user only.
    QCOMPARE(QFile::permissions(file) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const ImportPreview preview = previewImportFile(file);
    QVERIFY2(!preview.failed, qPrintable(preview.error));
    QCOMPARE(preview.rejected.size(), 0);
    QCOMPARE(preview.usable.toList(), expected);
}

void TestAddressEdit::failedExportLeavesNoFile()
{
    Book book;
    const QString missing = book.dir.filePath(QStringLiteral("no such folder/out.csv"));
    QString error;
    QVERIFY(!exportRecipients(missing, recipientsOf(book.model), ExportEncoding::Cp932, &error));
    QVERIFY(error.contains(missing));
    QVERIFY(!QFileInfo::exists(missing));
    // Rows that can't be read leave a file already there as it was.
    const QString existing = book.dir.filePath(QStringLiteral("old.csv"));
    writeBytes(existing, "old\r\n");
    book.db.close();
    QVERIFY(!exportRecipients(existing, recipientsOf(book.model), ExportEncoding::Cp932, &error));
    QCOMPARE(readBytes(existing), QByteArray("old\r\n"));
    QCOMPARE(QDir(book.dir.path()).entryList(QDir::Files), QStringList({"book.cdb", "old.csv"}));
}

QTEST_GUILESS_MAIN(TestAddressEdit)
#include "tst_addressedit.moc"
