#include "addressbookwindow.h"
#include "addressfixture.h"
#include "addressrowmodel.h"
#include "csvimport.h"
#include "dbstatement.h"
#include "recipientdialog.h"
#include "settingsstore.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <QtTest>
#include <memory>

using Ids = QList<qint64>;

namespace {
const QString kSearchFailed = QStringLiteral("データベースの接続に失敗しました。検索条件を確認してください。");
const QString kConnectFailed = QStringLiteral("データベースの接続に失敗しました。");

// The address book as the main window opens it: busy pointer first, then
// the window, which activates when it is shown.
std::unique_ptr<DialogMail> openBook(TestWorld &w)
{
    w.platform.setBusy(true);
    auto d = std::make_unique<DialogMail>(w.ctx);
    d->show();
    return d;
}

QString bookPath(TestWorld &w, const QList<AddrRow> &rows = sampleRows())
{
    const QString path = w.path(QStringLiteral("book.cdb"));
    makeAddressDb(path, rows);
    w.settings->setValue(QStringLiteral("MDBFileName"), path);
    return path;
}

Ids shownIds(DialogMail &d)
{
    Ids out;
    for (int i = 0; i < d.ResultSet->count(); ++i)
        out << d.ResultSet->id(i);
    return out;
}

void search(DialogMail &d, const QString &item, const QString &key, bool exact = false)
{
    d.Combo2->setCurrentText(item);
    d.Combo2_Click();
    d.txtKey->setText(key);
    d.Check1->setChecked(exact);
    d.Command2_Click();
}
} // namespace

class TestAddressBook : public QObject {
    Q_OBJECT
private slots:
    void recipientsAreEditedAddedAndExported();
    void loadActivateAndUnload();
    void storedPathMissingReportsAtTheFirstSearch();
    void searchPanelKeepsItselfConsistent();
    void searchListsCountsAndFails();
    void insertIntoSendList();
    void insertThroughTheModalWindow();
    void deleteSelected();
    void deleteAllShown();
    void deleteAllShownIsOffAfterAChangeOfFile();
    void deleteAllShownFailureIsReported();
    void toggleSendFlag();
    void changeOfFile();
    void aFileThatWontOpenKeepsTheOneInUse_data();
    void aFileThatWontOpenKeepsTheOneInUse();
    void saveAs();
    void compaction();
    void compactionWritesItsCopyBesideTheDatabase();
    void initialisation();
    void printing();
    void menusToolbarHelpAndImport();
    void closingTheImportWindowListsEveryAddress();
    void resizeFollowsTheWindow();
};

void TestAddressBook::loadActivateAndUnload()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("DialogLeft"), QStringLiteral("1500"));
    w.settings->setValue(QStringLiteral("DialogTop"), QStringLiteral("750.5"));
    w.platform.setBusy(true);
    auto d = std::make_unique<DialogMail>(w.ctx);
    // Loaded, not yet active.
    QCOMPARE(d->pos(), QPoint(100, 50));
    const QString def = w.path(QStringLiteral("Quillpost.cdb"));
    QCOMPARE(d->DbFileName, def);
    QCOMPARE(d->sbPanel1->text(), def);
    QVERIFY(QFile::exists(def));
    QCOMPARE(w.ctx.addressDb, &d->database());
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("すべて選択"));
    QCOMPARE(d->Combo2->count(), 8);
    QCOMPARE(d->Combo1->count(), 7);
    QVERIFY(!d->txtKey->isEnabled());
    QVERIFY(!d->Combo1->isEnabled());
    QVERIFY(d->Combo1->currentText().isEmpty());
    QVERIFY(!d->Check1->isChecked());
    QVERIFY(!d->mnuPrint->isEnabled());
    QCOMPARE(w.platform.busyDepth, 1);

    d->show();
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　0件"));
    QVERIFY(d->mnuPrint->isEnabled());
    QVERIFY(d->Command6->isEnabled());
    QCOMPARE(d->windowTitle(), QStringLiteral("宛先のインポート"));

    d->move(300, 200);
    d->mnuEnd_Click();
    QVERIFY(!d->isVisible());
    QCOMPARE(w.ctx.addressDb, nullptr);
    QVERIFY(!d->database().isOpen());
    QCOMPARE(w.settings->value(QStringLiteral("DialogLeft")), QStringLiteral("4500"));
    QCOMPARE(w.settings->value(QStringLiteral("DialogTop")), QStringLiteral("3000"));
    QCOMPARE(w.settings->value(QStringLiteral("MDBFileName")), def);
    d.reset();
    QCOMPARE(w.platform.busyDepth, 0);
    QVERIFY(w.platform.messageTexts().isEmpty());
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::storedPathMissingReportsAtTheFirstSearch()
{
    TestWorld w;
    const QString missing = w.path(QStringLiteral("gone.cdb"));
    w.settings->setValue(QStringLiteral("MDBFileName"), missing);
    auto d = openBook(w);
    QCOMPARE(d->DbFileName, missing);
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(w.platform.messageTexts(), QStringList{kSearchFailed});
    QCOMPARE(w.platform.calls.last().title, QStringLiteral("Information"));
    QCOMPARE(w.platform.calls.last().icon, MsgIcon::Information);
    QVERIFY(d->Text1->text().isEmpty());
    QVERIFY(!d->mnuPrint->isEnabled());
    QCOMPARE(w.platform.busyDepth, 0);

    // Insert has nothing open to read: the window stays.
    w.platform.reset();
    d->Command1_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{kConnectFailed});
    QVERIFY(d->isVisible());
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::searchPanelKeepsItselfConsistent()
{
    TestWorld w;
    bookPath(w);
    auto d = openBook(w);

    d->Combo2->setCurrentText(QStringLiteral("宛先1"));
    d->Combo2_Click();
    QVERIFY(d->txtKey->isEnabled());
    QVERIFY(d->Combo1->isEnabled());
    QVERIFY(d->txtKey->text().isEmpty());

    d->Combo1->setCurrentText(QStringLiteral("送信区分　保留"));
    d->Combo1_Click();
    QCOMPARE(d->txtKey2->text(), QStringLiteral("False"));
    d->Combo1->setEditText(QString());
    QVERIFY(d->txtKey2->text().isEmpty()); // Combo1_Change

    // The same field in both choosers empties the second.
    d->Combo1->setCurrentText(QStringLiteral("宛先1"));
    d->Combo1_Click();
    QVERIFY(d->Combo1->currentText().isEmpty());
    d->Combo1->setCurrentText(QStringLiteral("メモ"));
    d->Combo1_Click();
    d->Combo2->setCurrentText(QStringLiteral("メモ"));
    d->Combo2_Click();
    QVERIFY(d->Combo1->currentText().isEmpty());

    // Each key box takes input as its field needs: the input method off
    // for an address or a date, on for a name, as it was for the others.
    d->Combo2->setCurrentText(QStringLiteral("メールアドレス"));
    d->Combo2_Click();
    QVERIFY(!d->txtKey->testAttribute(Qt::WA_InputMethodEnabled));
    d->Combo2->setCurrentText(QStringLiteral("メモ"));
    d->Combo2_Click();
    QVERIFY(!d->txtKey->testAttribute(Qt::WA_InputMethodEnabled));
    d->Combo2->setCurrentText(QStringLiteral("宛先2"));
    d->Combo2_Click();
    QVERIFY(d->txtKey->testAttribute(Qt::WA_InputMethodEnabled));
    d->Combo1->setCurrentText(QStringLiteral("登録日"));
    d->Combo1_Click();
    QVERIFY(!d->txtKey2->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(d->txtKey->testAttribute(Qt::WA_InputMethodEnabled));

    d->Combo2->setCurrentText(QStringLiteral("送信区分　保留"));
    d->Combo2_Click();
    QCOMPARE(d->txtKey->text(), QStringLiteral("False"));
    d->txtKey->clear();
    d->Command2_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("検索する条件を入力してください。")});

    d->Combo2->setCurrentText(QStringLiteral("すべて選択"));
    d->Combo2_Click();
    QVERIFY(d->txtKey->text().isEmpty());
    QVERIFY(!d->txtKey->isEnabled());
    QVERIFY(!d->Combo1->isEnabled());

    w.platform.reset();
    d->Combo2->setEditText(QString());
    d->Command2_Click();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("検索する項目を選んでください。")});
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::searchListsCountsAndFails()
{
    TestWorld w;
    bookPath(w);
    auto d = openBook(w);
    QCOMPARE(shownIds(*d), (Ids{1, 2, 3, 4, 7}));
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　5件"));

    // Grid layout: id hidden, widths from twips, the flag as True/False.
    QVERIFY(d->DataGrid1->isColumnHidden(0));
    QCOMPARE(d->DataGrid1->columnWidth(1), 800 / 15);
    QCOMPARE(d->DataGrid1->columnWidth(2), 2400 / 15);
    QCOMPARE(d->DataGrid1->columnWidth(5), 3000 / 15);
    QCOMPARE(d->DataGrid1->columnWidth(7), 2000 / 15);
    QCOMPARE(d->ResultSet->headerData(3, Qt::Horizontal).toString(), QStringLiteral("宛先1"));
    QCOMPARE(d->ResultSet->data(d->ResultSet->index(0, 1)).toString(), QStringLiteral("True"));
    QCOMPARE(d->ResultSet->data(d->ResultSet->index(1, 1)).toString(), QStringLiteral("False"));

    search(*d, QStringLiteral("宛先1"), QStringLiteral("O'Brien"), true);
    QCOMPARE(shownIds(*d), Ids{2});
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　1件"));
    QVERIFY(w.platform.messageTexts().isEmpty());

    // Zero rows: count 0 and print still enabled.
    search(*d, QStringLiteral("メモ"), QStringLiteral("該当なし"));
    QCOMPARE(d->ResultSet->count(), 0);
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　0件"));
    QVERIFY(d->mnuPrint->isEnabled());

    // Enter in the key box searches.
    d->Combo2->setCurrentText(QStringLiteral("登録日"));
    d->Combo2_Click();
    d->txtKey->setText(QStringLiteral("2005/4/1"));
    d->Check1->setChecked(true);
    QTest::keyClick(d->txtKey, Qt::Key_Return);
    QCOMPARE(shownIds(*d), (Ids{1, 6}));

    // A key that is no date: the message, an empty count, the old rows
    // stay on screen but delete-all-shown can't run on them.
    search(*d, QStringLiteral("登録日"), QStringLiteral("4月1日"), true);
    QCOMPARE(w.platform.messageTexts(), QStringList{kSearchFailed});
    QVERIFY(d->Text1->text().isEmpty());
    QCOMPARE(shownIds(*d), (Ids{1, 6}));
    QVERIFY(!d->resultSetOpen());
    QVERIFY(!d->Command6->isEnabled());
    QVERIFY(!d->mnuDelete->isEnabled());
    QVERIFY(!d->toolbarButton(QStringLiteral("すべて削除"))->isEnabled());
    QCOMPARE(d->FilterClause.text, QStringLiteral("WHERE (登録日 = ?)"));
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::insertIntoSendList()
{
    TestWorld w;
    bookPath(w);
    w.sendList.append(QStringLiteral("前の人"), QString(), QStringLiteral("old@example.jp"));
    auto d = openBook(w);
    // A typed item that is no column lists every row.
    search(*d, QStringLiteral("全部"), QStringLiteral("x"));
    QCOMPARE(d->ResultSet->count(), 7);

    QSignalSpy counts(&w.sendList, &SendList::countChanged);
    d->Command1_Click();
    // True rows with an address, in id order; the row without an address
    // is skipped so the three lists stay in step.
    QCOMPARE(w.sendList.lstName1(),
             (QStringList{QStringLiteral("山田 太郎"), QStringLiteral("鈴木 花子"), QStringLiteral("佐藤 次郎")}));
    QCOMPARE(w.sendList.lstName2(), (QStringList{QStringLiteral("営業部"), QString(), QStringLiteral("営業部")}));
    QCOMPARE(w.sendList.lstAddress(), (QStringList{QStringLiteral("taro@example.jp"),
                                                   QStringLiteral("hanako@example.jp"), QStringLiteral("no-at-sign")}));
    QCOMPARE(counts.count(), 1);
    QVERIFY(!d->isVisible());
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(w.ctx.addressDb, nullptr);
    QCOMPARE(w.platform.busyDepth, 0);

    // Every listed row held: the list ends up empty.
    d = openBook(w);
    search(*d, QStringLiteral("送信区分　保留"), QStringLiteral("False"));
    QCOMPARE(d->ResultSet->count(), 2);
    d->Command1_Click();
    QCOMPARE(w.sendList.count(), 0);
    QVERIFY(!d->isVisible());

    // An empty result leaves the list alone and closes.
    w.sendList.append(QStringLiteral("残る"), QString(), QStringLiteral("stay@example.jp"));
    d = openBook(w);
    search(*d, QStringLiteral("メモ"), QStringLiteral("該当なし"));
    d->mnuEntry->trigger();
    QCOMPARE(w.sendList.lstAddress(), QStringList{QStringLiteral("stay@example.jp")});
    QVERIFY(!d->isVisible());
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::insertThroughTheModalWindow()
{
    TestWorld w;
    bookPath(w);
    QWidget owner;
    w.platform.answerModal(QStringLiteral("DialogMail"), [](QWidget *win) {
        auto *d = qobject_cast<DialogMail *>(win);
        QVERIFY(d);
        d->tbToolBar_ButtonClick(QStringLiteral("送信リストに挿入"));
    });
    w.platform.setBusy(true);
    showAddressBook(w.ctx, &owner);
    QCOMPARE(w.sendList.lstAddress(),
             (QStringList{QStringLiteral("taro@example.jp"), QStringLiteral("hanako@example.jp")}));
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(w.ctx.addressDb, nullptr);
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::deleteSelected()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    QCOMPARE(d->currentRow(), 0);

    d->setCurrentRow(1);
    w.platform.answerMessage(MsgAnswer::No);
    d->Command8_Click();
    QCOMPARE(w.platform.calls.last().text, QStringLiteral("選択した宛先(O'Brien)を削除します。よろしいですか。"));
    QCOMPARE(w.platform.calls.last().title, QStringLiteral("Question"));
    QCOMPARE(w.platform.calls.last().icon, MsgIcon::Question);
    QCOMPARE(w.platform.calls.last().buttons, MsgButtons::YesNo);
    QCOMPARE(w.platform.calls.last().defaultButton, MsgDefault::No); // Enter keeps the row
    QCOMPARE(queryIds(path).size(), 7);

    w.platform.answerMessage(MsgAnswer::Yes);
    d->Command8_Click();
    QCOMPARE(queryIds(path), (Ids{1, 3, 4, 5, 6, 7}));
    QCOMPARE(shownIds(*d), (Ids{1, 3, 4, 7}));
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　4件"));
    QCOMPARE(d->currentRow(), 1); // the next row took its place

    // The last row in id order: the current row becomes the new last.
    d->setCurrentRow(3);
    w.platform.answerMessage(MsgAnswer::Yes);
    d->tbToolBar_ButtonClick(QStringLiteral("宛先の削除"));
    QCOMPARE(shownIds(*d), (Ids{1, 3, 4}));
    QCOMPARE(d->currentRow(), 2);

    // The only row, with a null name.
    search(*d, QStringLiteral("登録日"), QStringLiteral("2005/04/01"), true);
    search(*d, QStringLiteral("インポート区分名"), QStringLiteral("名簿"));
    QCOMPARE(shownIds(*d), (Ids{3, 4}));
    search(*d, QStringLiteral("メモ"), QStringLiteral("要"));
    QCOMPARE(shownIds(*d), Ids{});
    d->Combo2->setCurrentText(QStringLiteral("全部"));
    d->txtKey->setText(QStringLiteral("x"));
    d->Combo1->setCurrentText(QStringLiteral("登録日"));
    d->txtKey2->setText(QStringLiteral("2005/04/01"));
    d->Check1->setChecked(false);
    d->Command2_Click(); // starts with " AND": fails
    QCOMPARE(w.platform.messageTexts().last(), kSearchFailed);
    d->Combo1->setEditText(QString());
    search(*d, QStringLiteral("登録日"), QStringLiteral("2005/04/01"), true);
    QCOMPARE(shownIds(*d), (Ids{1, 6}));
    d->setCurrentRow(1);
    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuCut->trigger();
    QCOMPARE(w.platform.calls.last().text, QStringLiteral("選択した宛先()を削除します。よろしいですか。"));
    w.platform.answerMessage(MsgAnswer::Yes);
    d->Command8_Click();
    QCOMPARE(d->ResultSet->count(), 0);
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　0件"));
    QVERIFY(!d->Command8->isEnabled());
    d->Command8_Click(); // nothing left: no question
    QCOMPARE(queryIds(path), (Ids{3, 4, 5}));

    // A selection in the grid enables it again.
    search(*d, QStringLiteral("インポート区分名"), QStringLiteral("名簿"));
    d->setCurrentRow(1);
    QVERIFY(d->Command8->isEnabled());
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::deleteAllShown()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    search(*d, QStringLiteral("送信区分　保留"), QStringLiteral("False"));
    QCOMPARE(shownIds(*d), (Ids{2, 7}));

    w.platform.answerMessage(MsgAnswer::No);
    d->Command6_Click();
    QCOMPARE(queryIds(path).size(), 7);

    w.platform.reset();
    w.platform.answerMessage(MsgAnswer::Yes);
    d->tbToolBar_ButtonClick(QStringLiteral("すべて削除"));
    QCOMPARE(w.platform.messageTexts(), (QStringList{QStringLiteral("表示中の宛先すべてを削除します。よろしいですか。"),
                                                     QStringLiteral("表示中の宛先すべてを削除しました。")}));
    QCOMPARE(w.platform.calls.first().title, QStringLiteral("Question"));
    QCOMPARE(w.platform.calls.first().defaultButton, MsgDefault::No);
    QCOMPARE(queryIds(path), (Ids{1, 3, 4, 5, 6}));
    QCOMPARE(d->ResultSet->count(), 0);
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　0件"));

    // With an apostrophe and a second clause: exactly the listed rows go.
    d->Combo2->setCurrentText(QStringLiteral("すべて選択"));
    d->Combo2_Click();
    d->Combo1->setCurrentText(QStringLiteral("宛先2"));
    d->Combo1_Click();
    d->txtKey2->setText(QStringLiteral("営業部"));
    d->Check1->setChecked(true);
    d->Command2_Click();
    QCOMPARE(shownIds(*d), Ids{1});
    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuDelete->trigger();
    QCOMPARE(queryIds(path), (Ids{3, 4, 5, 6}));
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::deleteAllShownIsOffAfterAChangeOfFile()
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

void TestAddressBook::deleteAllShownFailureIsReported()
{
    TestWorld w;
    const QString path = bookPath(w);
    const int saved = AddressDb::busyTimeoutMs();
    AddressDb::setBusyTimeoutMs(200);
    auto d = openBook(w);
    search(*d, QStringLiteral("送信区分　保留"), QStringLiteral("False"));

    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    w.platform.answerMessage(MsgAnswer::Yes);
    d->Command6_Click();
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("表示中の宛先を削除できませんでした。"));
    // Toggling under the lock says so as well, and changes nothing.
    d->mnuSendCode_Click();
    QCOMPARE(w.platform.messageTexts().last(), kConnectFailed);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    AddressDb::setBusyTimeoutMs(saved);
    QCOMPARE(queryIds(path).size(), 7);
    QCOMPARE(d->ResultSet->sendFlag(0), std::optional<bool>(false));
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::toggleSendFlag()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    const QString flagOf1 = QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 1");
    d->setCurrentRow(0);
    d->mnuSendCode_Click();
    QCOMPARE(queryIds(path, flagOf1), Ids{0});
    QCOMPARE(d->ResultSet->data(d->ResultSet->index(0, 1)).toString(), QStringLiteral("False"));
    d->tbToolBar_ButtonClick(QStringLiteral("送信区分変更"));
    QCOMPARE(queryIds(path, flagOf1), Ids{1});

    d->setCurrentRow(3); // id 4, flag null
    d->mnuSendCode->trigger();
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 4")), Ids{1});
    QCOMPARE(d->ResultSet->data(d->ResultSet->index(3, 1)).toString(), QStringLiteral("True"));
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::changeOfFile()
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

void TestAddressBook::aFileThatWontOpenKeepsTheOneInUse_data()
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

void TestAddressBook::aFileThatWontOpenKeepsTheOneInUse()
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

void TestAddressBook::saveAs()
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

void TestAddressBook::compaction()
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

void TestAddressBook::compactionWritesItsCopyBesideTheDatabase()
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

void TestAddressBook::initialisation()
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

void TestAddressBook::printing()
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

void TestAddressBook::menusToolbarHelpAndImport()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);

    QStringList menus;
    for (QAction *a : d->menuBar->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("表示(&V)"), QStringLiteral("ﾂｰﾙ(&T)"),
                                 QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
    QStringList file;
    for (QAction *a : d->menuBar->actions().first()->menu()->actions())
        file << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(file,
             (QStringList{QStringLiteral("開く(&O)"), QStringLiteral("名前を付けて保存(&S)"),
                          QStringLiteral("ｶﾝﾏ区切（CSV）形式のﾌｧｲﾙから宛先のｲﾝﾎﾟｰﾄ(&I)"),
                          QStringLiteral("宛先のエクスポート(&T)..."), QStringLiteral("-"),
                          QStringLiteral("印刷(&P)..."), QStringLiteral("ﾌﾟﾘﾝﾀの設定(&U)..."), QStringLiteral("-"),
                          QStringLiteral("送信リストに挿入(&E)"), QStringLiteral("-"), QStringLiteral("閉じる(&X)")}));
    QCOMPARE(d->mnuDataBase->text(), QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽの修復/最適化(&C)"));
    QCOMPARE(d->mnuHelpkey->text(), QStringLiteral("目次とｷｰﾜｰﾄﾞ(&H)"));

    QStringList captions;
    for (QAction *a : d->tbToolBar->actions())
        captions << a->text();
    QCOMPARE(captions, (QStringList{QStringLiteral("宛先のインポート　"), QStringLiteral("宛先の追加　"),
                                    QStringLiteral("送信区分変更　"), QStringLiteral("宛先の削除　　　"),
                                    QStringLiteral("すべて削除　　　"), QStringLiteral("送信リストに挿入")}));
    QCOMPARE(d->toolbarButton(QStringLiteral("送信区分変更"))->toolTip(),
             QStringLiteral("送信区分を変更します（Falseは送信を保留します）"));
    QCOMPARE(d->Command2->toolTip(), QStringLiteral("該当する宛先を排出します"));
    QVERIFY(!d->Command1->isVisible() && !d->Command6->isVisible() && !d->Command8->isVisible());

    // A click on a real toolbar button reaches its handler.
    w.platform.answerMessage(MsgAnswer::No);
    d->toolbarButton(QStringLiteral("宛先の削除"))->trigger();
    QVERIFY(w.platform.calls.last().text.startsWith(QStringLiteral("選択した宛先(")));
    d->tbToolBar_ButtonClick(QStringLiteral("知らないキー"));

    d->mnuHelpkey_Click();
    QCOMPARE(w.platform.callsOf(QStringLiteral("help")).last().text,
             QUrl::fromLocalFile(w.path(QStringLiteral("Quillpost.html"))).toString()
                 + QStringLiteral("#address-book"));
    QCOMPARE(w.platform.busyDepth, 0);

    // The import window works on the same connection; closing it
    // activates the book, which lists the new row.
    QWidget *importOwner = nullptr;
    w.ctx.openImportWindow = [&](QWidget *owner) {
        importOwner = owner;
        QVERIFY(w.ctx.addressDb && w.ctx.addressDb->isOpen());
        QVERIFY(w.ctx.addressDb->exec(QStringLiteral(
            "INSERT INTO 宛先 VALUES (8, 1, '追加', '新人', '', 'new@example.jp', '2005/04/02', NULL)")));
        notifyReactivated(owner);
    };
    search(*d, QStringLiteral("宛先1"), QStringLiteral("山田"));
    d->tbToolBar_ButtonClick(QStringLiteral("宛先のインポート"));
    QCOMPARE(importOwner, d.get());
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("すべて選択"));
    QCOMPARE(shownIds(*d), (Ids{1, 2, 3, 4, 7, 8}));
    QCOMPARE(queryIds(path).size(), 8);
    QCOMPARE(w.platform.busyDepth, 0);

    if (const QByteArray shot = qgetenv("QUILLPOST_SHOT"); !shot.isEmpty()) {
        d->resize(1000, 560);
        d->setCurrentRow(1);
        d->grab().save(QString::fromLocal8Bit(shot));
    }
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBook::closingTheImportWindowListsEveryAddress()
{
    TestWorld w;
    bookPath(w);
    auto d = openBook(w);
    search(*d, QStringLiteral("宛先2"), QStringLiteral("営業部"));
    d->Combo1->setCurrentText(QStringLiteral("宛先1"));
    d->Combo1_Click();
    d->txtKey2->setText(QStringLiteral("山"));
    d->Command2_Click();
    QCOMPARE(shownIds(*d), Ids{1});

    w.ctx.openImportWindow = [&](QWidget *owner) {
        QVERIFY(w.ctx.addressDb->exec(QStringLiteral(
            "INSERT INTO 宛先 VALUES (8, 1, '追加', '新人', '', 'new@example.jp', '2005/04/02', NULL)")));
        notifyReactivated(owner);
    };
    d->toolbarButton(QStringLiteral("宛先のインポート"))->trigger();
    QCOMPARE(shownIds(*d), (Ids{1, 2, 3, 4, 7, 8}));
    QCOMPARE(d->Text1->text(), QStringLiteral("　該当する宛先　6件"));
    QCOMPARE(d->Combo2->currentText(), QStringLiteral("すべて選択"));
    QVERIFY(d->Combo1->currentText().isEmpty());
    QVERIFY(d->txtKey2->text().isEmpty());
    QVERIFY(w.platform.messageTexts().isEmpty());
    VERIFY_PLATFORM(w.platform);
}

namespace {
// The controls that are not whole: cut by their parent, squeezed below the
// size their text or content needs, overlapping a sibling, or a toolbar
// button or menu pushed out of sight.
QStringList brokenControls(DialogMail &d)
{
    QStringList out;
    auto check = [&out](QWidget *parent, const QList<QWidget *> &kids) {
        for (qsizetype i = 0; i < kids.size(); ++i) {
            QWidget *k = kids[i];
            const QRect g = k->geometry();
            QSize need = k->minimumSizeHint().expandedTo(k->minimumSize());
            if (qobject_cast<QLabel *>(k) || qobject_cast<QAbstractButton *>(k))
                need = need.expandedTo(k->sizeHint());
            const QString name = k->objectName().isEmpty() ? QString::fromLatin1(k->metaObject()->className())
                                                           : k->objectName();
            if (!parent->rect().contains(g))
                out << name + QStringLiteral(" cut by its parent");
            if (g.width() < need.width() || g.height() < need.height())
                out << name + QStringLiteral(" squeezed");
            for (qsizetype j = 0; j < i; ++j) {
                if (g.intersects(kids[j]->geometry()))
                    out << name + QStringLiteral(" overlaps ") + kids[j]->objectName();
            }
        }
    };
    check(&d, {d.menuBar, d.tbToolBar, d.Frame3, d.Text1, d.DataGrid1, d.StatusBar1});
    check(d.Frame3, {d.Label1, d.Combo2, d.Label2, d.txtKey, d.Command2, d.Combo1, d.txtKey2, d.Check1});
    for (QAction *a : d.tbToolBar->actions()) {
        if (!d.tbToolBar->widgetForAction(a)->isVisible())
            out << a->text() + QStringLiteral(" not on the toolbar");
    }
    for (QAction *a : d.menuBar->actions()) {
        const QRect g = d.menuBar->actionGeometry(a);
        if (g.isEmpty() || !d.menuBar->rect().contains(g))
            out << a->text() + QStringLiteral(" not on the menu bar");
    }
    return out;
}
} // namespace

void TestAddressBook::resizeFollowsTheWindow()
{
    TestWorld w;
    auto d = openBook(w);
    // The grid takes what the window gives, above the status bar.
    d->resize(900, 600);
    const QSize grid = d->DataGrid1->size();
    d->resize(1100, 700);
    QCOMPARE(d->DataGrid1->size(), grid + QSize(200, 100));
    QVERIFY2(d->DataGrid1->geometry().bottom() < d->StatusBar1->geometry().top(),
             qPrintable(QStringLiteral("grid %1..%2, status bar from %3")
                            .arg(d->DataGrid1->geometry().top())
                            .arg(d->DataGrid1->geometry().bottom())
                            .arg(d->StatusBar1->geometry().top())));

    // The window gets no smaller than keeps every control whole, and a long
    // path in the status bar doesn't make it wider.
    const QSize minimum = d->minimumSize();
    QVERIFY(minimum.width() < 900 && minimum.height() < 600);
    d->resize(300, 150);
    QCOMPARE(d->size(), minimum);
    const QStringList broken = brokenControls(*d);
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral(", "))));
    d->txtFileName->setText(QStringLiteral("/a/long/path").repeated(40));
    QCoreApplication::sendPostedEvents(); // the layout's request
    QCOMPARE(d->minimumSize(), minimum);
    VERIFY_PLATFORM(w.platform);
}

namespace {
// Types into a grid cell as a user would (F2, the text, Enter).
void typeIntoCell(DialogMail &d, int row, int column, const QString &text)
{
    const QModelIndex i = d.ResultSet->index(row, column);
    d.DataGrid1->setCurrentIndex(i);
    QTest::keyClick(d.DataGrid1, Qt::Key_F2);
    auto *editor = d.DataGrid1->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->selectAll();
    editor->insert(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits and closes on the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

void TestAddressBook::recipientsAreEditedAddedAndExported()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    d->show();
    const QString rowSql = QStringLiteral("SELECT メールアドレス FROM 宛先 WHERE 宛先ID = 1");

    // An address typed in full width is stored as the import stores it.
    typeIntoCell(*d, 0, AddressRowModel::ColAddress, QStringLiteral("ＴＡＲＯ＠ＥＸＡＭＰＬＥ．ＪＰ "));
    QCOMPARE(d->ResultSet->text(0, AddressRowModel::ColAddress), QStringLiteral("taro@example.jp"));
    AddressDb db;
    QVERIFY(db.open(path, false));
    auto stored = [&db](const QString &sql) {
        DbStatement st(db, sql);
        return st.step() == DbStatement::Row ? st.text(0) : QStringLiteral("<none>");
    };
    typeIntoCell(*d, 0, AddressRowModel::ColAddress, QStringLiteral("TARO2@EXAMPLE.JP"));
    QCOMPARE(stored(rowSql), QStringLiteral("taro2@example.jp"));
    // Refused: a message names the rule, the cell and the file keep the value.
    typeIntoCell(*d, 0, AddressRowModel::ColAddress, QStringLiteral("no-at-sign"));
    QCOMPARE(w.platform.callsOf(QStringLiteral("message")).last().text,
             QStringLiteral("メールアドレスに「@」がありません。"));
    QCOMPARE(d->ResultSet->text(0, AddressRowModel::ColAddress), QStringLiteral("taro2@example.jp"));
    QCOMPARE(stored(rowSql), QStringLiteral("taro2@example.jp"));
    // 登録日 stays read-only.
    QVERIFY(!(d->ResultSet->flags(d->ResultSet->index(0, AddressRowModel::ColDate)) & Qt::ItemIsEditable));

    // Added by hand: the next ID, shown and selected; a known address asks first.
    w.platform.answerModal(QStringLiteral("RecipientDialog"), [](QWidget *win) {
        auto *dlg = static_cast<RecipientDialog *>(win);
        dlg->setFields({QStringLiteral("手入力"), QStringLiteral("新規商事"), QStringLiteral("田中"),
                        QStringLiteral("hanako@example.jp"), QString()});
        dlg->accept();
    });
    w.platform.answerMessage(MsgAnswer::Yes);
    d->toolbarButton(QStringLiteral("宛先の追加"))->trigger();
    QVERIFY(w.platform.callsOf(QStringLiteral("message"))
                .last()
                .text.startsWith(QStringLiteral("このメールアドレスはすでに登録されています。")));
    QCOMPARE(stored(QStringLiteral("SELECT 宛先2 FROM 宛先 WHERE 宛先ID = 8")), QStringLiteral("田中"));
    QCOMPARE(d->ResultSet->id(d->currentRow()), 8);

    // Export of the rows shown reads back through the import as those rows.
    const QString csv = w.path(QStringLiteral("out.csv"));
    w.platform.answerSave(csv);
    d->mnuExport->trigger();
    const ImportPreview p = previewImportFile(csv);
    QVERIFY2(!p.failed, qPrintable(p.error));
    QCOMPARE(p.usable.size() + p.rejected.size(), qsizetype(d->ResultSet->count()));
    QCOMPARE(p.usable.at(0).name1, QStringLiteral("山田 太郎"));
    QCOMPARE(p.usable.at(p.usable.size() - 1).name1, QStringLiteral("新規商事"));
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
