#include "addressbookfixture.h"
#include "csvimport.h"
#include "dbstatement.h"
#include "dialogsuppressed.h"
#include "recipientdialog.h"
#include "suppression.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

// The address book's work on recipients: editing in the grid, adding,
// deleting, the send flag, the send list and export.

class TestAddressBookEdit : public QObject {
    Q_OBJECT
private slots:
    void recipientsAreEditedAddedAndExported();
    void insertIntoSendList();
    void insertThroughTheModalWindow();
    void deleteSelected();
    void deleteAllShown();
    void deleteAllShownFailureIsReported();
    void toggleSendFlag();
    void sendingToASuppressedAddressAgainAsksAndLiftsIt();
    void suppressedListShowsWhyAndLiftsAfterAsking();
};

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

void TestAddressBookEdit::recipientsAreEditedAddedAndExported()
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

void TestAddressBookEdit::insertIntoSendList()
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

void TestAddressBookEdit::insertThroughTheModalWindow()
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

void TestAddressBookEdit::deleteSelected()
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

void TestAddressBookEdit::deleteAllShown()
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

void TestAddressBookEdit::deleteAllShownFailureIsReported()
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

void TestAddressBookEdit::toggleSendFlag()
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

void TestAddressBookEdit::sendingToASuppressedAddressAgainAsksAndLiftsIt()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    const QString flagOf2 = QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 2");
    QVERIFY(suppressAddress(d->database(), QStringLiteral("obrien@example.com"), SuppressionReason::unsubscribed(),
                            QDate(2026, 12, 1))
                .ok);
    d->setCurrentRow(1); // id 2, held
    w.platform.answerMessage(MsgAnswer::No);
    d->mnuSendCode_Click();
    QVERIFY(w.platform.calls.last().text.startsWith(QStringLiteral("このメールアドレスは配信停止中です。")));
    QVERIFY(w.platform.calls.last().text.contains(QStringLiteral("配信停止（2026/12/01）")));
    QCOMPARE(w.platform.calls.last().defaultButton, MsgDefault::No);
    QCOMPARE(queryIds(path, flagOf2), Ids{0});
    QVERIFY(isSuppressed(d->database(), QStringLiteral("obrien@example.com")));

    w.platform.answerMessage(MsgAnswer::Yes);
    d->mnuSendCode_Click();
    QCOMPARE(queryIds(path, flagOf2), Ids{1});
    QVERIFY(!isSuppressed(d->database(), QStringLiteral("obrien@example.com")));
    VERIFY_PLATFORM(w.platform);
}

void TestAddressBookEdit::suppressedListShowsWhyAndLiftsAfterAsking()
{
    TestWorld w;
    const QString path = bookPath(w);
    auto d = openBook(w);
    QVERIFY(suppressAddress(d->database(), QStringLiteral("obrien@example.com"), SuppressionReason::unsubscribed(),
                            QDate(2026, 12, 1))
                .ok);
    QVERIFY(suppressAddress(d->database(), QStringLiteral("taro@example.jp"),
                            SuppressionReason::bounced(QStringLiteral("5.1.1"), QStringLiteral("User unknown")),
                            QDate(2026, 12, 2))
                .ok);
    auto rows = [](const DialogSuppressed &v) {
        QStringList out;
        for (int r = 0; r < v.grdSuppressed->rowCount(); ++r)
            out << v.grdSuppressed->item(r, 0)->text() + QLatin1Char(' ') + v.grdSuppressed->item(r, 1)->text()
                       + QLatin1Char(' ') + v.grdSuppressed->item(r, 2)->text();
        return out;
    };
    QStringList before, after;
    w.platform.answerMessage(MsgAnswer::No);
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerModal(QStringLiteral("DialogSuppressed"), [&](QWidget *window) {
        auto *v = qobject_cast<DialogSuppressed *>(window);
        before = rows(*v);
        v->grdSuppressed->selectRow(0);
        v->cmdLift_Click(); // No: nothing changes
        v->cmdLift_Click();
        after = rows(*v);
    });
    d->mnuSuppressed->trigger();
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(before, (QStringList{QStringLiteral("obrien@example.com 配信停止 2026/12/01"),
                                  QStringLiteral("taro@example.jp エラー 5.1.1 User unknown 2026/12/02")}));
    QCOMPARE(after, QStringList{before.last()});
    const QList<PlatformCall> asked = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0].text, asked[1].text);
    QVERIFY(asked[0].text.contains(QStringLiteral("obrien@example.com\n配信停止（2026/12/01）")));
    QCOMPARE(asked[0].defaultButton, MsgDefault::No);
    // Lifted, its row is sent to again.
    QVERIFY(!isSuppressed(d->database(), QStringLiteral("obrien@example.com")));
    QCOMPARE(queryIds(path, QStringLiteral("SELECT 送信区分 FROM 宛先 WHERE 宛先ID = 2")), Ids{1});
}

QTEST_MAIN(TestAddressBookEdit)
#include "tst_addressbook_edit.moc"
