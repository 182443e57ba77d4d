#include "account.h"
#include "frmmail.h"
#include "settingsstore.h"
#include "singleinstance.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <thread>

namespace {
const QString kNotSetUp = QStringLiteral("メール送信　アカウントが設定されていません。登録を行いますか？");
const QString kBodyChanged = QStringLiteral("本文は変更されています。ファイルに保存しますか？");

void configureAccount(SettingsStore &s, int profile, const QString &server, const QString &name)
{
    const QString sfx = profile == 0 ? QString() : QString::number(profile);
    s.setValue(QStringLiteral("Account"), QString::number(profile));
    s.setValue(QStringLiteral("szServer") + sfx, server);
    s.setValue(QStringLiteral("szFromName") + sfx, name);
}
}

class TestFrmMail : public QObject {
    Q_OBJECT
private slots:
    void init() { ActiveAccount = AccountRecord(); }
    void firstRunAsksOnceAndFillsTheBody();
    void yesOpensTheAccountDialogOwnedByTheMainWindow();
    void configuredAccountShowsItsLineAndAsksNothing();
    void closingWritesSettingsUnlessMinimised();
    void closingMaximisedStoresTheState();
    void badSettingsKeepDesignValues();
    void unwritableSettingsNeverStopStartOrClose();
    void cancelOnTheClosingQuestionKeepsEverything();
    void yesOnTheClosingQuestionRunsSaveAs();
    void layoutKeepsEveryControlWhole_data();
    void layoutKeepsEveryControlWhole();
    void ctrlAOpensTheAccountsFromTheTextFields();
    void menusAndToolbar();
    void viewTogglesAndEditEntries();
    void helpAndAddressBookOpeners();
    void secondStartIsRefusedAndRaisesTheFirst();
};

void TestFrmMail::firstRunAsksOnceAndFillsTheBody()
{
    TestWorld w;
    frmMail f(w.ctx);
    QCOMPARE(f.pos(), QPoint(0, 0));
    QVERIFY(!(f.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
    QVERIFY(f.Check1->isChecked());
    QVERIFY(!f.Check2->isChecked());
    QVERIFY(f.AccountUnset);

    w.platform.answerMessage(MsgAnswer::No);
    f.Form_Activate();
    QCOMPARE(f.bodyText(), QStringLiteral("\r\n")); // empty header, line break, empty signature
    QVERIFY(!f.BodyChanged);
    QCOMPARE(f.Text1->text(), QStringLiteral("0"));
    QCOMPARE(f.sbPanel1->text().left(12), QStringLiteral("　アカウント(規定）　　"));
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, kNotSetUp);
    QCOMPARE(msgs[0].title, QStringLiteral("環境設定"));
    QCOMPARE(msgs[0].icon, MsgIcon::Information);
    QCOMPARE(msgs[0].buttons, MsgButtons::YesNoCancel);

    // Later activations never ask again.
    f.Form_Activate();
    f.Form_Activate();
    QCOMPARE(w.platform.callsOf(QStringLiteral("message")).size(), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestFrmMail::yesOpensTheAccountDialogOwnedByTheMainWindow()
{
    TestWorld w;
    QWidget *owner = nullptr;
    w.ctx.openAccountDialog = [&](QWidget *o) {
        owner = o;
        // The dialog saves a real account; the next activation shows it.
        configureAccount(*w.settings, 2, QStringLiteral("smtp.example.jp"), QStringLiteral("山田"));
        w.settings->setValue(QStringLiteral("BodyHeader2"), QStringLiteral("お知らせ"));
        LoadActiveAccount(*w.settings);
    };
    frmMail f(w.ctx);
    w.platform.answerMessage(MsgAnswer::Yes);
    f.Form_Activate();
    QCOMPARE(owner, &f);
    // The body takes the new account's header at once.
    QCOMPARE(f.bodyText(), QStringLiteral("お知らせ\r\n"));
    f.Form_Activate();
    QCOMPARE(f.sbPanel1->text(), QStringLiteral("　サブ　アカウント２　　Server/smtp.example.jp  From Name/山田"));
    QCOMPARE(w.platform.callsOf(QStringLiteral("message")).size(), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestFrmMail::configuredAccountShowsItsLineAndAsksNothing()
{
    TestWorld w;
    configureAccount(*w.settings, 3, QStringLiteral("S"), QStringLiteral("N"));
    w.settings->setValue(QStringLiteral("BodyHeader3"), QStringLiteral("お知らせ"));
    w.settings->setValue(QStringLiteral("Signature3"), QStringLiteral("--\r\n山田"));
    frmMail f(w.ctx);
    QVERIFY(!f.AccountUnset);
    w.sendList.append(QStringLiteral("a"), QString(), QStringLiteral("a@x.jp"));
    w.sendList.append(QStringLiteral("b"), QString(), QStringLiteral("b@x.jp"));
    f.Form_Activate();
    QCOMPARE(f.sbPanel1->text(), QStringLiteral("　サブ　アカウント３　　Server/S  From Name/N"));
    QCOMPARE(f.bodyText(), QStringLiteral("お知らせ\r\n--\r\n山田"));
    QCOMPARE(f.Text1->text(), QStringLiteral("2"));
    // A body that is not empty is left alone.
    f.setBodyText(QStringLiteral("typed"));
    f.Form_Activate();
    QCOMPARE(f.bodyText(), QStringLiteral("typed"));
    QVERIFY(f.BodyChanged);
    QVERIFY(w.platform.calls.isEmpty());

    // Emptying the list by the menu blanks the count.
    f.mnuInportKill_Click();
    QCOMPARE(w.sendList.count(), 0);
    QCOMPARE(f.Text1->text(), QString());
}

void TestFrmMail::closingWritesSettingsUnlessMinimised()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("MainLeft"), QStringLiteral("1500"));
    w.settings->setValue(QStringLiteral("MainTop"), QStringLiteral("3000"));
    w.settings->setValue(QStringLiteral("frmMainWindow"), QStringLiteral("0"));
    {
        frmMail f(w.ctx);
        QCOMPARE(f.pos(), QPoint(100, 200));
        f.BodyChanged = false;
        f.Check1->setChecked(false);
        f.Check2->setChecked(true);
        f.move(300, 150);
        f.setWindowState(Qt::WindowMinimized);
        QVERIFY(f.close());
    }
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("checkATTN1")), QStringLiteral("0"));
    QCOMPARE(w.settings->value(QStringLiteral("checkATTN2")), QStringLiteral("1"));
    QCOMPARE(w.settings->value(QStringLiteral("MainLeft")), QStringLiteral("1500"));
    QCOMPARE(w.settings->value(QStringLiteral("MainTop")), QStringLiteral("3000"));
    QCOMPARE(w.settings->value(QStringLiteral("frmMainWindow")), QStringLiteral("0"));

    // The next start uses the earlier position and the stored options.
    frmMail again(w.ctx);
    QCOMPARE(again.pos(), QPoint(100, 200));
    QVERIFY(!again.Check1->isChecked());
    QVERIFY(again.Check2->isChecked());

    again.BodyChanged = false;
    again.move(40, 60);
    QVERIFY(again.close());
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("MainLeft")), QStringLiteral("600"));
    QCOMPARE(w.settings->value(QStringLiteral("MainTop")), QStringLiteral("900"));
    VERIFY_PLATFORM(w.platform);
}

void TestFrmMail::closingMaximisedStoresTheState()
{
    TestWorld w;
    {
        frmMail f(w.ctx);
        f.BodyChanged = false;
        f.show();
        f.setWindowState(Qt::WindowMaximized);
        QVERIFY(f.close());
        w.reopenSettings();
        QCOMPARE(w.settings->value(QStringLiteral("frmMainWindow")), QStringLiteral("2"));
        QCOMPARE(w.settings->value(QStringLiteral("MainLeft")), QString::number(f.x() * 15));
    }
    frmMail again(w.ctx);
    QVERIFY(again.windowState() & Qt::WindowMaximized);
}

void TestFrmMail::badSettingsKeepDesignValues()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("MainLeft"), QStringLiteral("left"));
    w.settings->setValue(QStringLiteral("MainTop"), QStringLiteral("450"));
    w.settings->setValue(QStringLiteral("frmMainWindow"), QStringLiteral("max"));
    w.settings->setValue(QStringLiteral("checkATTN1"), QStringLiteral("x"));
    w.settings->setValue(QStringLiteral("checkATTN2"), QStringLiteral("1"));
    frmMail f(w.ctx);
    QCOMPARE(f.y(), 30); // the next step still ran
    QCOMPARE(f.x(), 0);  // design value
    QVERIFY(!(f.windowState() & Qt::WindowMaximized));
    QVERIFY(!f.Check1->isChecked()); // design value of the box: unchecked
    QVERIFY(f.Check2->isChecked());
}

void TestFrmMail::unwritableSettingsNeverStopStartOrClose()
{
    TestWorld w;
    // A store whose folder is a file: nothing can be read or written.
    writeBytes(w.path(QStringLiteral("blocker")), "x");
    SettingsStore broken(w.path(QStringLiteral("blocker/settings.ini")));
    w.ctx.settings = &broken;
    frmMail f(w.ctx);
    QVERIFY(f.AccountUnset);
    f.BodyChanged = false;
    QVERIFY(f.close());
}

void TestFrmMail::cancelOnTheClosingQuestionKeepsEverything()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.show();
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    w.platform.answerMessage(MsgAnswer::Cancel);
    QVERIFY(!f.close());
    QVERIFY(f.isVisible());
    QCOMPARE(f.txtSubject->text(), QStringLiteral("件名"));
    QCOMPARE(f.bodyText(), QStringLiteral("本文"));
    QVERIFY(f.BodyChanged);
    QVERIFY(!w.settings->contains(QStringLiteral("checkATTN1")));
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, kBodyChanged);
    QCOMPARE(msgs[0].title, QStringLiteral("ファイルに保存"));
    QCOMPARE(msgs[0].buttons, MsgButtons::YesNoCancel);

    // No closes without saving.
    w.platform.answerMessage(MsgAnswer::No);
    QVERIFY(f.close());
    QVERIFY(w.platform.callsOf(QStringLiteral("save")).isEmpty());
    VERIFY_PLATFORM(w.platform);
}

void TestFrmMail::yesOnTheClosingQuestionRunsSaveAs()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.setBodyText(QStringLiteral("本文"));
    w.platform.answerMessage(MsgAnswer::Yes);
    // Cancelling the save dialog, or a save that fails, keeps the window
    // and the edits.
    w.platform.answerSave(QString());
    QVERIFY(!f.close());
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerSave(w.path(QStringLiteral("no-such-folder/本文.txt")));
    QVERIFY(!f.close());
    QCOMPARE(f.bodyText(), QStringLiteral("本文"));
    // A save that works closes it.
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerSave(w.path(QStringLiteral("本文.txt")));
    QVERIFY(f.close());
    QCOMPARE(w.platform.callsOf(QStringLiteral("save")).size(), 3);
    VERIFY_PLATFORM(w.platform);
}

void TestFrmMail::layoutKeepsEveryControlWhole_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("smallest") << QSize(640, 480);
    QTest::newRow("large") << QSize(1280, 1024);
}

void TestFrmMail::layoutKeepsEveryControlWhole()
{
    QFETCH(QSize, size);
    TestWorld w;
    configureAccount(*w.settings, 1, QStringLiteral("smtp.example.jp"), QStringLiteral("山田"));
    LoadActiveAccount(*w.settings);
    w.sendList.append(QStringLiteral("株式会社テスト"), QStringLiteral("山田太郎"),
                      QStringLiteral("yamada@example.jp"));
    frmMail f(w.ctx);
    f.setAttachmentPaths({w.path(QStringLiteral("資料/案内.pdf"))});
    f.Form_Activate();
    f.setMinimumSize(f.minimumSize()); // never below the window's own minimum
    f.resize(size.boundedTo(QSize(200, 200)));
    f.show();
    f.resize(size);
    QTRY_COMPARE(f.size(), size.expandedTo(f.minimumSize()));

    const QRect window = f.rect();
    const QList<QWidget *> controls = {static_cast<QWidget *>(f.txtSubject),
                                       f.Text1,
                                       f.lstName1,
                                       f.List1,
                                       f.txtBody,
                                       f.Check1,
                                       f.Check2,
                                       f.ProgressBar1,
                                       f.Label1,
                                       f.Label2,
                                       f.Label3,
                                       f.Label4,
                                       f.Label5};
    for (QWidget *c : controls) {
        const QRect r(c->mapTo(&f, QPoint(0, 0)), c->size());
        QVERIFY2(c->isVisible() && window.contains(r), qPrintable(c->objectName()));
        QVERIFY2(r.width() >= c->minimumSizeHint().width() || c == f.txtBody, qPrintable(c->objectName()));
    }
    // Status texts side by side, each whole.
    const QList<QLabel *> panels = {f.sbPanel1, f.sbPanel2, f.sbPanel3};
    for (int i = 0; i < panels.size(); ++i) {
        QVERIFY(panels[i]->width() >= panels[i]->sizeHint().width() || i == 0);
        if (i > 0)
            QVERIFY(panels[i - 1]->geometry().right() < panels[i]->geometry().left());
    }
    // The subject takes what the window gains.
    if (size.width() > 1000)
        QVERIFY(f.txtSubject->width() > 800);

    // Recipients in two columns; attachments by file name, the path as tooltip.
    QAbstractItemModel *m = f.lstName1->model();
    QCOMPARE(m->columnCount(), 2);
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("宛名"));
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("株式会社テスト 山田太郎"));
    QCOMPARE(m->data(m->index(0, 1)).toString(), QStringLiteral("yamada@example.jp"));
    QCOMPARE(f.List1->item(0)->text(), QStringLiteral("案内.pdf"));
    QCOMPARE(f.List1->item(0)->toolTip(), w.path(QStringLiteral("資料/案内.pdf")));
}

void TestFrmMail::ctrlAOpensTheAccountsFromTheTextFields()
{
    TestWorld w;
    configureAccount(*w.settings, 1, QStringLiteral("S"), QStringLiteral("N"));
    LoadActiveAccount(*w.settings);
    int opened = 0;
    w.ctx.openAccountDialog = [&](QWidget *) { ++opened; };
    frmMail f(w.ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.txtSubject->setText(QStringLiteral("件名"));
    for (QWidget *field : {static_cast<QWidget *>(f.txtSubject), static_cast<QWidget *>(f.txtBody)}) {
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    }
    QCOMPARE(opened, 2);
    QVERIFY(!f.txtSubject->hasSelectedText());
}

void TestFrmMail::menusAndToolbar()
{
    TestWorld w;
    frmMail f(w.ctx);
    const QStringList menus = {"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "挿入(&I)", "ﾂｰﾙ(&T)", "ﾍﾙﾌﾟ(&H)"};
    QStringList seen;
    for (QAction *a : f.menuBar()->actions())
        seen << a->text();
    QCOMPARE(seen, menus);
    QCOMPARE(f.mnuFileSend->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    QCOMPARE(f.mnuLogFile->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QCOMPARE(f.mnuFilePreview->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    QCOMPARE(f.mnuToolsOptions->text(), QStringLiteral("ﾒｰﾙ送信　ｱｶｳﾝﾄ(&A)..."));
    QVERIFY(!f.mnuFileSave->isEnabled());
    QVERIFY(f.mnuViewToolbar->isChecked() && f.mnuViewStatusBar->isChecked());

    QStringList keys, captions;
    for (QAction *a : f.tbToolBar->actions()) {
        keys << a->data().toString();
        captions << a->text();
    }
    QCOMPARE(keys, (QStringList{"送信", "プレビュー", "宛先検索", "添付ファイル", "切り取り", "コピー", "貼り付け",
                                "元に戻す", "送信ｱｶｳﾝﾄ"}));
    QCOMPARE(captions.first(), QStringLiteral("送信　　　"));
    QCOMPARE(f.tbToolBar->actions().last()->toolTip(), QStringLiteral("メール送信に必要なサーバー情報などを設定"));

    // The account key opens the account dialog; an unknown key does nothing.
    int opened = 0;
    w.ctx.openAccountDialog = [&](QWidget *) { ++opened; };
    f.tbToolBar->actions().last()->trigger();
    f.tbToolBar_ButtonClick(QStringLiteral("存在しない"));
    f.mnuSine->trigger();
    QCOMPARE(opened, 2);
}

void TestFrmMail::viewTogglesAndEditEntries()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.mnuViewToolbar->trigger();
    QVERIFY(!f.mnuViewToolbar->isChecked());
    QVERIFY(!f.tbToolBar->isVisible());
    f.mnuViewStatusBar->trigger();
    QVERIFY(!f.sbStatusBar->isVisible());
    f.mnuViewToolbar->trigger();
    QVERIFY(f.tbToolBar->isVisible());

    // Cut and paste act on the focused field.
    f.activateWindow();
    f.txtSubject->setFocus();
    QApplication::setActiveWindow(&f);
    f.txtSubject->setText(QStringLiteral("abc"));
    f.txtSubject->selectAll();
    if (QApplication::focusWidget() != f.txtSubject)
        QSKIP("no keyboard focus on this platform");
    f.mnuEditCut->trigger();
    QCOMPARE(f.txtSubject->text(), QString());
    f.mnuEditPaste->trigger();
    QCOMPARE(f.txtSubject->text(), QStringLiteral("abc"));
    f.mnuEditUndo->trigger();
    QCOMPARE(f.txtSubject->text(), QString());
}

void TestFrmMail::helpAndAddressBookOpeners()
{
    TestWorld w;
    frmMail f(w.ctx);
    int book = 0, log = 0;
    w.ctx.openAddressBook = [&](QWidget *o) {
        QCOMPARE(o, &f);
        QCOMPARE(w.platform.busyDepth, 1);
        ++book;
        w.platform.setBusy(false);
    };
    w.ctx.openLogViewer = [&](QWidget *) {
        QCOMPARE(w.platform.busyDepth, 1);
        ++log;
        w.platform.setBusy(false);
    };
    f.mnuInport->trigger();
    f.tbToolBar_ButtonClick(QStringLiteral("宛先検索"));
    QTest::mouseClick(f.Label1, Qt::LeftButton);
    f.mnuLogFile->trigger();
    QCOMPARE(book, 3);
    QCOMPARE(log, 1);

    f.mnuHelpContents->trigger();
    f.mnuOnline->trigger();
    const auto help = w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 2);
    QCOMPARE(QUrl(help[0].text).toLocalFile(), w.platform.folder + QStringLiteral("/Quillpost.html"));
    QVERIFY(help[1].text.endsWith(QStringLiteral("Quillpost.html#support")));
    QCOMPARE(w.platform.busyDepth, 0);
}

void TestFrmMail::secondStartIsRefusedAndRaisesTheFirst()
{
    TestWorld w;
    const QString folder = w.path(QStringLiteral("data"));
    auto first = std::make_unique<SingleInstance>(folder);
    QVERIFY(!refuseSecondStart(w.platform, *first));
    int raised = 0;
    first->listen([&] { ++raised; });
    // The second start waits for the first's answer; the first answers from
    // its event loop, here on this thread.
    SingleInstance second(folder);
    bool refused = false;
    std::thread start([&] { refused = refuseSecondStart(w.platform, second); });
    QTRY_COMPARE_WITH_TIMEOUT(raised, 1, 10000);
    start.join();
    QVERIFY(refused);
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("Quillpost はすでに起動しています。")});
    // Once the first window is gone, the next start is the first.
    first.reset();
    SingleInstance third(folder);
    QVERIFY(!refuseSecondStart(w.platform, third));
}

QTEST_MAIN(TestFrmMail)
#include "tst_frmmail.moc"
