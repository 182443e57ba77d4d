#include "addressbookfixture.h"
#include "settingsstore.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <QtTest>

// The address book itself: loading, activation and closing, the search
// panel, its menus and toolbar, and its layout.

class TestAddressBook : public QObject {
    Q_OBJECT
private slots:
    void loadActivateAndUnload();
    void storedPathMissingReportsAtTheFirstSearch();
    void searchPanelKeepsItselfConsistent();
    void searchListsCountsAndFails();
    void menusToolbarHelpAndImport();
    void closingTheImportWindowListsEveryAddress();
    void resizeFollowsTheWindow();
};

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

QTEST_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
