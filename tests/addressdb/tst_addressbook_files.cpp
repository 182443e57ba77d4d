#include "addressbookfixture.h"
#include "settingsstore.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The address book's file operations: change of file, save as, compaction,
// initialisation and printing.

class TestAddressBookFiles : public QObject {
    Q_OBJECT
private slots:
    void deleteAllShownIsOffAfterAChangeOfFile();
    void changeOfFile();
    void aFileThatWontOpenKeepsTheOneInUse_data();
    void aFileThatWontOpenKeepsTheOneInUse();
    void saveAs();
    void compaction();
    void compactionWritesItsCopyBesideTheDatabase();
    void initialisation();
    void printing();
};

void TestAddressBookFiles::deleteAllShownIsOffAfterAChangeOfFile()
{
    TestWorld w;
    const QString first = bookPath(w);
    const QString second = w.path(QStringLiteral("second.cdb"));
    QVERIFY(makeAddressDb(second, sampleRows()));
    auto d = openBook(w);
    search(*d, QStringLiteral("宛先2"), QStringLiteral("営業部"));
    QCOMPARE(shownIds(*d), (Ids{1, 5, 7}));

    w.platform.answerOpen({second});
    d->mnuFileOpen_Click();
    QCOMPARE(shownIds(*d), (Ids{1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(!d->Command6->isEnabled());
    QVERIFY(!d->mnuDelete->isEnabled());
    QVERIFY(!d->toolbarButton(QStringLiteral("すべて削除"))->isEnabled());
    // Every way in is refused without a question.
    d->Command6_Click();
    d->mnuDelete->trigger();
    d->tbToolBar_ButtonClick(QStringLiteral("すべて削除"));
    QCOMPARE(queryIds(second).size(), 7);
    QCOMPARE(queryIds(first).size(), 7);

    d->Command2_Click();
    QVERIFY(d->Command6->isEnabled());
    QVERIFY(d->mnuDelete->isEnabled());
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::changeOfFile()
{
    TestWorld w;
    bookPath(w);
    const QString other = w.path(QStringLiteral("other.cdb"));
    QVERIFY(makeAddressDb(other, sampleRows().mid(4)));
    auto d = openBook(w);

    w.platform.answerOpen({});
    d->mnuFileOpen_Click();
    const PlatformCall open = w.platform.callsOf(QStringLiteral("open")).last();
    QCOMPARE(open.title, QStringLiteral("データベースの変更"));
    QCOMPARE(open.file.filterIndex, 2);
    QCOMPARE(open.file.filters.size(), 2);
    QCOMPARE(open.file.filters[0].first, QStringLiteral("すべてのファイル (*.*)"));
    QCOMPARE(open.file.filters[1], qMakePair(QStringLiteral("cdb ﾌｧｲﾙ (*.cdb)"), QStringLiteral("*.cdb")));
    QVERIFY(open.file.fileName.isEmpty());
    QCOMPARE(shownIds(*d), (Ids{1, 2, 3, 4, 7}));

    search(*d, QStringLiteral("宛先2"), QStringLiteral("営業部"));
    w.platform.answerOpen({other});
    d->mnuFileOpen_Click();
    // Every row, with or without an at sign or an address.
    QCOMPARE(shownIds(*d), (Ids{5, 6, 7}));
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　3件"));
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("すべて選択"));
    QCOMPARE(d->DbFileName, other);
    QCOMPARE(d->sbPanel1->text(), other);
    QCOMPARE(w.settings->value(QStringLiteral("MDBFileName")), other);
    QCOMPARE(d->FilterClause.text, QStringLiteral("Where (宛先2 LIKE '%' || ? || '%')"));

    // No name: the input box, then the message.
    d->Text2->clear();
    w.platform.answerInput(QString());
    d->ChangeDataBase();
    const PlatformCall input = w.platform.callsOf(QStringLiteral("input")).last();
    QCOMPARE(input.title, QStringLiteral("ファイル名入力"));
    QVERIFY(input.text.startsWith(QStringLiteral("変更するデータベース ファイル名を入力してください。")));
    QVERIFY(input.text.endsWith(QStringLiteral("    例）C:\\VB6\\DB\\Backup.cdb")));
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("データベースファイル名か入力されていません。"));
    QCOMPARE(d->DbFileName, other);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::aFileThatWontOpenKeepsTheOneInUse_data()
{
    QTest::addColumn<QString>("way");      // open, input or save
    QTest::addColumn<QString>("name");     // in the test folder
    QTest::addColumn<QByteArray>("bytes"); // the file's content; empty: no file
    QTest::addColumn<QString>("message");  // without the path lines

    const QString cannotOpen = QStringLiteral("データベースを開けませんでした。");
    QTest::newRow("picture renamed .cdb")
        << "open"
        << "photo.cdb" << QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001000000010806000000")
        << cannotOpen;
    QTest::newRow("typed name of no file") << "input"
                                           << "gone.cdb" << QByteArray() << cannotOpen;
    QTest::newRow("save into no folder") << "save"
                                         << "no-folder/copy.cdb" << QByteArray()
                                         << QStringLiteral("データベースの保存に失敗しました。");
}

void TestAddressBookFiles::aFileThatWontOpenKeepsTheOneInUse()
{
    QFETCH(QString, way);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    search(*d, QStringLiteral("インポート区分名"), QStringLiteral("展示会"));
    const Ids shown = shownIds(*d);
    QCOMPARE(shown, (Ids{1, 2, 5}));
    const QString bad = w.path(name);
    if (!bytes.isEmpty())
        writeBytes(bad, bytes);

    if (way == QLatin1String("open")) {
        w.platform.answerOpen({bad});
        d->mnuFileOpen_Click();
    } else if (way == QLatin1String("input")) {
        d->Text2->clear();
        w.platform.answerInput(bad);
        d->ChangeDataBase();
    } else {
        w.platform.answerSave(bad);
        d->mnuSave_Click();
    }

    QVERIFY(!w.platform.messageTexts().isEmpty());
    const QString said = w.platform.messageTexts().last();
    QVERIFY2(said.startsWith(message), qPrintable(said));
    if (way != QLatin1String("save"))
        QVERIFY2(said.contains(bad), qPrintable(said));
    if (!bytes.isEmpty())
        QCOMPARE(readBytes(bad), bytes);
    QCOMPARE(shownIds(*d), shown);
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　3件"));
    QCOMPARE(d->DbFileName, path);
    QCOMPARE(d->sbPanel1->text(), path);
    QCOMPARE(w.settings->value(QStringLiteral("MDBFileName")), path);
    QVERIFY(d->database().isOpen());
    QVERIFY(d->Command6->isEnabled());
    d->mnuEnd_Click();
    QCOMPARE(w.settings->value(QStringLiteral("MDBFileName")), path);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::saveAs()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);

    w.platform.answerSave(path);
    d->mnuSave_Click();
    QCOMPARE(w.platform.callsOf(QStringLiteral("save")).last().title, QStringLiteral("名前を付けて保存"));
    QCOMPARE(w.platform.callsOf(QStringLiteral("save")).last().file.filterIndex, 2);
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("ファイル名が不正です。"));

    const QString copy = w.path(QStringLiteral("copy.cdb"));
    writeBytes(copy, QByteArray("keep me"));
    w.platform.answerSave(copy);
    w.platform.answerMessage(MsgAnswer::No);
    d->mnuSave_Click();
    QCOMPARE(w.platform.calls.last().text, QStringLiteral("指定した名前のファイルが存在します。\n上書きしますか？"));
    QCOMPARE(w.platform.calls.last().title, QStringLiteral("Question"));
    QCOMPARE(readBytes(copy), QByteArray("keep me"));
    QCOMPARE(d->DbFileName, path);
    QVERIFY(d->database().isOpen());

    w.platform.answerSave(copy);
    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuSave_Click();
    QCOMPARE(d->DbFileName, copy);
    QCOMPARE(d->sbPanel1->text(), copy);
    QCOMPARE(w.settings->value(QStringLiteral("MDBFileName")), copy);
    QCOMPARE(queryIds(copy), queryIds(path));
    // Work goes on in the copy.
    d->setCurrentRow(0);
    d->mnuSendCode_Click();
    QCOMPARE(queryIds(copy, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 1")), Ids{0});
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 1")), Ids{1});
    QVERIFY(!w.platform.messageTexts().contains(QStringLiteral("データベースの保存に失敗しました。")));
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::compaction()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    d->mnuDataBase_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("データベースを最適化しました。")});
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(queryIds(path), (Ids{1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(!QFile::exists(w.path(QStringLiteral("CompactFileName.cdb"))));
    QVERIFY(d->database().isOpen());

    // A leftover from an earlier run: the failure message, the database
    // stays in place and the window keeps working on it.
    writeBytes(w.path(QStringLiteral("CompactFileName.cdb")), QByteArray("left over"));
    d->mnuDataBase->trigger();
    QVERIFY(w.platform.messageTexts().last().startsWith(QStringLiteral("データベースを最適化できませんでした。")));
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(queryIds(path), (Ids{1, 2, 3, 4, 5, 6, 7}));
    QCOMPARE(readBytes(w.path(QStringLiteral("CompactFileName.cdb"))), QByteArray("left over"));
    d->Command2_Click();
    QCOMPARE(d->ResultSet->count(), 5);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::compactionWritesItsCopyBesideTheDatabase()
{
    TestWorld w;
    // A folder apart from the program, as a USB stick or a share would be.
    QTemporaryDir stick;
    const QString path = stick.filePath(QStringLiteral("book.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));
    w.settings->setValue(QStringLiteral("MDBFileName"), path);
    const QString inProgramFolder = w.path(QStringLiteral("CompactFileName.cdb"));
    writeBytes(inProgramFolder, QByteArray("not ours"));
    auto d = openBook(w);

    d->mnuDataBase_Click();
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("データベースを最適化しました。"));
    QCOMPARE(readBytes(inProgramFolder), QByteArray("not ours"));
    QCOMPARE(QDir(stick.path()).entryList(QDir::Files), QStringList{QStringLiteral("book.cdb")});
    QCOMPARE(queryIds(path), (Ids{1, 2, 3, 4, 5, 6, 7}));

    // A copy left by an interrupted run: the message names it and says what
    // to do.
    const QString leftover = stick.filePath(QStringLiteral("CompactFileName.cdb"));
    writeBytes(leftover, QByteArray("left over"));
    d->mnuDataBase_Click();
    const QStringList lines = w.platform.messageTexts().last().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("データベースを最適化できませんでした。"));
    QVERIFY2(lines[1].contains(leftover) && lines[1].contains(QStringLiteral("削除")), qPrintable(lines[1]));
    QCOMPARE(readBytes(leftover), QByteArray("left over"));
    QCOMPARE(queryIds(path).size(), 7);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::initialisation()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    w.platform.answerMessage(MsgAnswer::No);
    d->mnuDel_Click();
    QCOMPARE(queryIds(path).size(), 7);

    w.platform.reset();
    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuDel->trigger();
    QCOMPARE(w.platform.messageTexts(), (QStringList{QStringLiteral("データベースを初期化します。よろしいですか。"),
                                                     QStringLiteral("データベースを初期化しました。")}));
    QCOMPARE(w.platform.calls.first().defaultButton, MsgDefault::No);
    QCOMPARE(queryIds(path), Ids{});
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　0件"));

    // Again on the empty table: the same two messages.
    w.platform.reset();
    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuDel_Click();
    QCOMPARE(w.platform.messageTexts().size(), 2);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookFiles::printing()
{
    TestWorld w;
    bookPath(w);
    auto d = openBook(w);
    w.platform.answerPrintDialog(false);
    d->mnuPrint_Click();
    QCOMPARE(w.platform.callsOf(QStringLiteral("print")).last().title, QStringLiteral("印刷"));
    QVERIFY(w.platform.callsOf(QStringLiteral("printJob")).isEmpty());

    w.platform.answerPrintDialog(true);
    d->mnuPrint->trigger();
    QCOMPARE(w.platform.callsOf(QStringLiteral("printJob")).size(), 1);
    QCOMPARE(w.platform.busyLog.mid(w.platform.busyLog.size() - 2),
             (QStringList{QStringLiteral("on"), QStringLiteral("off")}));

    w.platform.answerPrinterSetup(false);
    d->mnuPrinterSet->trigger();
    QCOMPARE(w.platform.callsOf(QStringLiteral("printSetup")).last().title, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestAddressBookFiles)
#include "tst_addressbook_files.moc"
