#include "account.h"
#include "addressdb.h"
#include "apptitle.h"
#include "faultserver.h"
#include "frmcertificate.h"
#include "frmmail.h"
#include "mailservers.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "suppression.h"
#include "testutil.h"
#include "textcodec.h"
#include "unsubscribe.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>

namespace {

const QString kDone = QStringLiteral("件の送信を完了しました。");

void useAccount(frmMail &f, int smtpPort)
{
    // Loaded from the empty settings as not set up; the tests set it up here.
    f.AccountUnset = false;
    ActiveAccount = AccountRecord();
    ActiveAccount.szServer = QStringLiteral("127.0.0.1");
    ActiveAccount.szFrom = QStringLiteral("shop@example.jp");
    ActiveAccount.szFromName = QStringLiteral("山田商店");
    ActiveAccount.szPort = QString::number(smtpPort);
    ActiveAccount.NotAdvertising = true;
}

void fill(SendList &list, int n)
{
    for (int i = 0; i < n; ++i)
        list.append(QStringLiteral("顧客%1").arg(i), QString(), QStringLiteral("c%1@example.jp").arg(i));
}

// The log viewer as the send run opens it: a modal window named frmLog that
// restores the pointer as it loads.
void openViewerLikeTheRealOne(TestWorld &w, int *opened)
{
    w.ctx.openLogViewer = [&w, opened](QWidget *owner) {
        ++*opened;
        QDialog dlg(owner);
        dlg.setObjectName(QStringLiteral("frmLog"));
        w.platform.setBusy(false);
        w.platform.showModal(&dlg);
    };
}

} // namespace

class TestSend : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ActiveAccount = AccountRecord(); }
    void checksStopTheRunWithTheirMessage();
    void completedRunReportsAndOpensTheLog();
    void abortShowsTheClientText();
    void popLoginFailureWarns();
    void untrustedCertificateIsTheUsersToTrust();
    void unwritableLogIsTrapped();
    void inputDuringTheRunIsDropped();
    void stopTakesAClickEscOrTheCloseBox_data();
    void stopTakesAClickEscOrTheCloseBox();
    void windowStaysAliveWhileTheServerStalls();
    void sendWaitsForAnotherRunOnTheLog();
    void resumeAsksBeforeReplacingUnsavedText();
    void refusedAndRepeatedAddressesAreTheUsersChoice();
    void charactersIso2022JpCannotCarryAreTheUsersChoice();
    void advertisingWithoutNoticeIsTheUsersChoice();
    void suppressedAddressesAreLeftOutAndCounted();
    void interruptedRunIsOfferedAtTheNextSend();
};

void TestSend::checksStopTheRunWithTheirMessage()
{
    TestWorld w;
    frmMail f(w.ctx);
    const QString log = w.path(QStringLiteral("SendMail.Log"));
    writeBytes(log, QByteArray("previous\r\n"));
    QWidget *accountOwner = nullptr, *bookOwner = nullptr;
    w.ctx.openAccountDialog = [&](QWidget *o) { accountOwner = o; };
    w.ctx.openAddressBook = [&](QWidget *o) {
        bookOwner = o;
        w.platform.setBusy(false);
    };
    f.show();
    QApplication::setActiveWindow(&f);

    // A placeholder server, even in front of a real host name.
    useAccount(f, unusedLoopbackPort());
    ActiveAccount.szServer = QStringLiteral("****127.0.0.1");
    fill(w.sendList, 1);
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCOMPARE(accountOwner, &f);
    ActiveAccount.szServer = QStringLiteral("127.0.0.1");

    w.sendList.clear();
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCOMPARE(bookOwner, &f);
    QCOMPARE(w.platform.busyLog, (QStringList{QStringLiteral("on"), QStringLiteral("off")}));

    fill(w.sendList, 1);
    f.txtSubject->clear();
    f.txtBody->setFocus();
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QTRY_VERIFY(f.txtSubject->hasFocus());

    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QString());
    f.txtSubject->setFocus();
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QTRY_VERIFY(f.txtBody->hasFocus());

    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 4);
    const QStringList texts = {QStringLiteral("メールサーバー情報に誤りがあります。"),
                               QStringLiteral("送信する宛先が入力されていません。"),
                               QStringLiteral("件名が入力されていません。"),
                               QStringLiteral("本文が力されていません。")};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(msgs[i].text, texts[i]);
        QCOMPARE(msgs[i].title, QStringLiteral("Information"));
        QCOMPARE(msgs[i].icon, MsgIcon::Information);
        QCOMPARE(msgs[i].buttons, MsgButtons::Ok);
    }
    QCOMPARE(readBytes(log), QByteArray("previous\r\n"));
    QCOMPARE(w.sendList.count(), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::completedRunReportsAndOpensTheLog()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 3);
    f.Text1->setText(QStringLiteral("3"));
    f.txtSubject->setText(QStringLiteral("ご案内"));
    f.setBodyText(QStringLiteral("本文\r\nです。"));
    f.Check1->setChecked(true);
    f.Check2->setChecked(true);

    QString textDuringViewer;
    QByteArray logDuringViewer;
    w.platform.answerModal(QStringLiteral("frmLog"), [&](QWidget *) {
        textDuringViewer = f.Text1->text();
        logDuringViewer = readBytes(w.path(QStringLiteral("SendMail.Log")));
    });
    // Through the menu entry, as the user starts it.
    f.mnuFileSend->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);

    QCOMPARE(opened, 1);
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, QStringLiteral("3") + kDone);
    QCOMPARE(msgs[0].title, QStringLiteral("Information"));
    QCOMPARE(msgs[0].icon, MsgIcon::Information);
    // The run leaves the count alone; the activation after the viewer shows it.
    QCOMPARE(textDuringViewer, QStringLiteral("3"));
    QCOMPARE(f.Text1->text(), QStringLiteral("0"));
    QCOMPARE(w.sendList.count(), 0);
    QCOMPARE(decodeCp932(logDuringViewer)->count(QStringLiteral("\r\n")), 4);
    // The bar is back at zero for the next run.
    QCOMPARE(f.ProgressBar1->value(), 0);
    QCOMPARE(w.platform.busyDepth, 0);
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 3);
    // Check2 on: the name without honorific.
    QCOMPARE(got[2].text, QStringLiteral("顧客2\r\n本文\r\nです。\r\n"));
    QCOMPARE(got[2].subject, QStringLiteral("ご案内"));
    VERIFY_PLATFORM(w.platform);
}

void TestSend::abortShowsTheClientText()
{
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, unusedLoopbackPort());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QVERIFY(msgs[0].text.startsWith(QStringLiteral("メールサーバーに接続できません。Cant connect Server")));
    QCOMPARE(msgs[0].title, appTitle());
    QCOMPARE(msgs[0].icon, MsgIcon::None);
    QCOMPARE(opened, 0);
    QCOMPARE(w.sendList.count(), 2);
    QCOMPARE(w.platform.busyDepth, 0);
    QCOMPARE(decodeCp932(readBytes(w.path(QStringLiteral("SendMail.Log"))))->count(QStringLiteral("\r\n")), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::popLoginFailureWarns()
{
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, unusedLoopbackPort());
    ActiveAccount.Pop3Port = QString::number(pop.port());
    ActiveAccount.Check2V = 1;
    ActiveAccount.User = QStringLiteral("shop");
    ActiveAccount.UserPass = QStringLiteral("wrong");
    const QString log = w.path(QStringLiteral("SendMail.Log"));
    writeBytes(log, sjis(QStringLiteral("前回の記録\r\n")));
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QVERIFY2(msgs[0].text.startsWith(QStringLiteral("POP Before SMTP 認証エラー ")), qPrintable(msgs[0].text));
    QVERIFY2(msgs[0].text.contains(QStringLiteral("-ERR [AUTH]")), qPrintable(msgs[0].text));
    QCOMPARE(msgs[0].title, appTitle());
    QCOMPARE(msgs[0].icon, MsgIcon::Warning);
    QCOMPARE(readBytes(log), sjis(QStringLiteral("前回の記録\r\n")));
    QCOMPARE(w.sendList.count(), 2);
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::untrustedCertificateIsTheUsersToTrust()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    ActiveAccount.SmtpSecurity = ConnectionSecurity::Tls;
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    f.Form_Activate(); // started: no run to finish
    QString reasons;
    w.platform.answerModal(QStringLiteral("frmCertificate"), [&](QWidget *window) {
        auto *question = static_cast<frmCertificate *>(window);
        reasons = question->lblReasons->text();
        question->cmdTrust->click();
    });
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    // Asked in place of the run's message; nothing went and the list stays.
    QVERIFY2(w.platform.callsOf(QStringLiteral("message")).isEmpty(), qPrintable(w.platform.messageTexts().join('|')));
    VERIFY_PLATFORM(w.platform);
    QVERIFY2(reasons.startsWith(QStringLiteral("・発行者が不明です。")), qPrintable(reasons));
    QCOMPARE(smtp.messageCount(), 0);
    QCOMPARE(w.sendList.count(), 2);
    QCOMPARE(opened, 0);
    // The key is the account's from now on, in memory and in its profile.
    QVERIFY(ActiveAccount.PinnedKeys.startsWith(QStringLiteral("sha256//")));
    QCOMPARE(w.settings->value(Setting::PinnedKeys, 0), ActiveAccount.PinnedKeys);

    // The next send finishes the run with the trusted key.
    w.platform.answerMessage(MsgAnswer::Yes); // the rest of the run that ended
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(smtp.messageCount(), 2);
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("2") + kDone);
}

void TestSend::unwritableLogIsTrapped()
{
    TestWorld w;
    w.platform.folder = w.path(QStringLiteral("gone"));
    frmMail f(w.ctx);
    useAccount(f, unusedLoopbackPort());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    w.platform.answerModal(QStringLiteral("frmLog"));
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    f.ProgressBar1->setRange(0, 5);
    f.ProgressBar1->setValue(4);
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, QStringLiteral("送信処理中にエラーが発生しました。サーバー情報を確認してください。"));
    QCOMPARE(msgs[0].title, QStringLiteral("Information"));
    QCOMPARE(msgs[0].icon, MsgIcon::Information);
    QCOMPARE(f.ProgressBar1->value(), 0);
    QCOMPARE(opened, 1);
    QCOMPARE(w.sendList.count(), 2);
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::inputDuringTheRunIsDropped()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    w.platform.answerModal(QStringLiteral("frmLog"));
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    // Keys typed while the run works must neither reach the window during
    // the run nor be replayed after it.
    QCoreApplication::postEvent(f.txtSubject,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    QCoreApplication::postEvent(f.txtSubject,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCoreApplication::processEvents();
    QCOMPARE(f.txtSubject->text(), QStringLiteral("件名"));
    QCOMPARE(smtp.messages().size(), 2);
    QCOMPARE(smtp.messages().at(0).subject, QStringLiteral("件名"));
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("2") + kDone);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::stopTakesAClickEscOrTheCloseBox_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click on 中止") << "click";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "close";
}

void TestSend::stopTakesAClickEscOrTheCloseBox()
{
    QFETCH(QString, how);
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    ActiveAccount.MaxPerMinute = 6; // ten seconds between messages
    fill(w.sendList, 5);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    f.BodyChanged = false;
    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.Command1_Click();
    // The first message has gone; the run waits before the second.
    QTRY_VERIFY_WITH_TIMEOUT(f.lblRun->text().contains(QStringLiteral("送信の間隔を空けています")), 30000);
    // As the user does it: through the window, not a call on the button.
    if (how == QLatin1String("click")) {
        QTest::mouseClick(f.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          f.cmdStop->mapTo(&f, f.cmdStop->rect().center()));
    } else if (how == QLatin1String("esc")) {
        QTest::keyClick(f.windowHandle(), Qt::Key_Escape);
    } else {
        w.platform.answerMessage(MsgAnswer::Yes);
        f.windowHandle()->close();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 30000);
    QStringList expected{QStringLiteral("1件を送信して中止しました。残りは4件です。")};
    if (how == QLatin1String("close"))
        expected.prepend(QStringLiteral("送信中です。送信を中止しますか？"));
    QCOMPARE(w.platform.messageTexts(), expected);
    QCOMPARE(w.sendList.count(), 4);
    QCOMPARE(w.sendList.entry(0).address, QStringLiteral("c1@example.jp"));
    QCOMPARE(f.Text1->text(), QStringLiteral("4"));
    QCOMPARE(smtp.messages().size(), 1);
    QVERIFY(!f.cmdStop->isVisible());
    QCOMPARE(f.isVisible(), how != QLatin1String("close"));
    QCOMPARE(w.platform.busyDepth, 0);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::windowStaysAliveWhileTheServerStalls()
{
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("dataend"), 1, QStringLiteral("stall")}}), qPrintable(server.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, server.port());
    fill(w.sendList, 3);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(50);
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(f.lblRun->text().contains(QStringLiteral("1 / 3　サーバーの応答を待っています（")), 30000);
    // The window's own loop kept turning while the server said nothing.
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    QVERIFY(!f.txtSubject->isEnabled() && f.cmdStop->isEnabled());
    // The first press waits for the message in flight; the second offers
    // to stop at once.
    w.platform.answerMessage(MsgAnswer::Yes);
    f.cmdStop->click();
    QVERIFY(f.lblRun->text().endsWith(QStringLiteral("中止しています…")));
    f.cmdStop->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 30000);
    const QStringList texts = w.platform.messageTexts();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts[0], QStringLiteral("今すぐ中止しますか？（送信中の1件は届いたかどうかわかりません）"));
    QVERIFY2(texts[1].startsWith(QStringLiteral("0件を送信して中止しました。残りは3件です。"))
                 && texts[1].contains(QStringLiteral("顧客0 <c0@example.jp>")),
             qPrintable(texts[1]));
    QCOMPARE(server.received(), (QMap<QString, int>{{QStringLiteral("c0@example.jp"), 1}}));
    QVERIFY(f.txtSubject->isEnabled());
    VERIFY_PLATFORM(w.platform);
}

void TestSend::sendWaitsForAnotherRunOnTheLog()
{
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, unusedLoopbackPort());
    fill(w.sendList, 1);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    RunLock headless(SentMailLog::pathIn(w.platform.folder));
    QVERIFY(headless.tryLock());
    f.Command1_Click();
    QVERIFY(!f.isRunning());
    QCOMPARE(w.platform.messageTexts().size(), 1);
    QVERIFY2(w.platform.messageTexts()[0].startsWith(QStringLiteral("ほかの送信が送信ログを使用中のため")),
             qPrintable(w.platform.messageTexts()[0]));
    QVERIFY(!QFile::exists(SentMailLog::pathIn(w.platform.folder)));
    VERIFY_PLATFORM(w.platform);
}

void TestSend::resumeAsksBeforeReplacingUnsavedText()
{
    TestWorld w;
    SendList earlier;
    fill(earlier, 2);
    {
        SendJournal j;
        QString error;
        JournalContent c;
        c.subject = QStringLiteral("前回の件名");
        c.bodyText = QStringLiteral("前回の本文");
        QVERIFY2(j.begin(SendJournal::pathBeside(SentMailLog::pathIn(w.platform.folder)), c, earlier, &error),
                 qPrintable(error));
    }
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    f.txtSubject->setText(QStringLiteral("新しい件名"));
    f.setBodyText(QStringLiteral("書きかけの本文"));
    QVERIFY(f.BodyChanged);
    w.platform.answerMessage(MsgAnswer::Yes);    // finish the earlier run
    w.platform.answerMessage(MsgAnswer::Cancel); // but not over this text
    f.Command1_Click();
    QVERIFY(!f.isRunning());
    QStringList texts = w.platform.messageTexts();
    QCOMPARE(texts.size(), 2);
    QVERIFY(texts[1].startsWith(QStringLiteral("再開すると、作成中の件名と本文は前回の送信の内容に置き換わります。")));
    QCOMPARE(f.txtSubject->text(), QStringLiteral("新しい件名"));
    QCOMPARE(f.bodyText(), QStringLiteral("書きかけの本文"));
    QCOMPARE(smtp.connectionCount(), 0);

    // Discarding it lets the earlier run finish with its own message.
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerMessage(MsgAnswer::No);
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCOMPARE(smtp.messages().size(), 2);
    QCOMPARE(smtp.messages().at(0).subject, QStringLiteral("前回の件名"));
    VERIFY_PLATFORM(w.platform);
}

void TestSend::refusedAndRepeatedAddressesAreTheUsersChoice()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 9);
    w.sendList.append(QStringLiteral("山田"), QString(), QStringLiteral("taro @example.jp"));
    w.sendList.append(QStringLiteral("重複"), QString(), QStringLiteral("c1@example.jp"));
    w.sendList.append(QStringLiteral("重複"), QString(), QStringLiteral("C2@Example.JP"));
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    // No to the refused address: nothing is sent.
    w.platform.answerMessage(MsgAnswer::No);
    f.Command1_Click();
    QVERIFY(!f.isRunning());
    QCOMPARE(smtp.connectionCount(), 0);
    const QList<PlatformCall> asked = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].text, QStringLiteral("送信できないメールアドレスが 1 件あります。これらを除いて送信しますか？\n\n"
                                           "10件目: taro @example.jp（空白が含まれています）"));

    // Yes, and each address once.
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const QStringList texts = w.platform.messageTexts();
    QCOMPARE(texts[2], QStringLiteral("同じメールアドレスが 2 件あります。１つのアドレスには１通だけ送りますか？"));
    QCOMPARE(texts[3], QStringLiteral("9") + kDone);
    QCOMPARE(smtp.messages().size(), 9);
    const QStringList log =
        decodeCp932(readBytes(w.path(QStringLiteral("SendMail.Log"))))->split(QStringLiteral("\r\n"));
    QCOMPARE(log.filter(QStringLiteral(",送信済,")).size(), 9);
    QCOMPARE(log.filter(QStringLiteral("taro @example.jp,送信エラー")).size(), 1);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::charactersIso2022JpCannotCarryAreTheUsersChoice()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    ActiveAccount.Charset = MailCharset::Iso2022Jp;
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("ご案内😀"));
    f.setBodyText(QStringLiteral("髙橋です😀"));
    // No: nothing is sent.
    w.platform.answerMessage(MsgAnswer::No);
    f.Command1_Click();
    QVERIFY(!f.isRunning());
    QCOMPARE(smtp.connectionCount(), 0);
    QCOMPARE(w.platform.messageTexts(),
             QStringList{QStringLiteral(
                 "次の文字は ISO-2022-JP では送れません：😀 髙（3 か所）。このメールを UTF-8 で送りますか？")});

    // Yes: this run in UTF-8, the account's choice as it was.
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].subject, QStringLiteral("ご案内😀"));
    QVERIFY(got[0].raw.contains("charset=UTF-8"));
    QCOMPARE(ActiveAccount.Charset, MailCharset::Iso2022Jp);
    VERIFY_PLATFORM(w.platform);
}

void TestSend::advertisingWithoutNoticeIsTheUsersChoice()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    ActiveAccount.NotAdvertising = false;
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 2);
    f.txtSubject->setText(QStringLiteral("ご案内"));
    f.setBodyText(QStringLiteral("新商品のご案内です。"));
    // No (the default): nothing is sent.
    w.platform.answerMessage(MsgAnswer::No);
    f.Command1_Click();
    QVERIFY(!f.isRunning());
    QCOMPARE(smtp.connectionCount(), 0);
    QCOMPARE(w.platform.messageTexts(), QStringList{kUnsubscribeNoticeQuestion});
    QCOMPARE(w.platform.calls.last().defaultButton, MsgDefault::No);

    // The name and the address in the text: no question, the run goes.
    w.platform.reset();
    f.setBodyText(QStringLiteral("新商品のご案内です。\r\n山田商店 shop@example.jp"));
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCOMPARE(smtp.messages().size(), 2);
    QVERIFY(!w.platform.messageTexts().contains(kUnsubscribeNoticeQuestion));
}

void TestSend::suppressedAddressesAreLeftOutAndCounted()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    {
        AddressDb db;
        QVERIFY(db.open(defaultDatabasePath(w.platform.programFolder()), true));
        QVERIFY(
            suppressAddress(db, QStringLiteral("c1@example.jp"), SuppressionReason::unsubscribed(), QDate(2026, 12, 1))
                .ok);
    }
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    fill(w.sendList, 3);
    f.txtSubject->setText(QStringLiteral("件名"));
    f.setBodyText(QStringLiteral("本文"));
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    QCOMPARE(w.platform.messageTexts(),
             QStringList{QStringLiteral("2") + kDone
                         + QStringLiteral("\n配信停止中のアドレス 1件には送信しませんでした。")});
    QCOMPARE(smtp.messages().size(), 2);
    for (const ReceivedMail &m : smtp.messages())
        QVERIFY(!m.envelopeTo.contains(QStringLiteral("c1@example.jp")));
    VERIFY_PLATFORM(w.platform);
}

void TestSend::interruptedRunIsOfferedAtTheNextSend()
{
    TestWorld w;
    // A run that loses its server at the third of five: two accepted, the
    // third was on its way.
    {
        auto gone = std::make_unique<SmtpTestServer>();
        QVERIFY2(gone->start(), qPrintable(gone->error()));
        struct Source : SendRunSource {
            std::unique_ptr<SmtpTestServer> &server;
            explicit Source(std::unique_ptr<SmtpTestServer> &s) : server(s) {}
            QString subject() override { return QStringLiteral("前回の件名"); }
            QString bodyText() override { return QStringLiteral("前回の本文"); }
            QString attachmentText() override { return {}; }
            bool nameBlockOn() override { return true; }
            bool honorificOn() override { return false; }
            void setProgressMaximum(qsizetype) override {}
            void setProgress(qsizetype v) override
            {
                if (v == 3)
                    server->stop();
            }
        } source(gone);
        SendList list;
        fill(list, 5);
        ActiveAccount.szServer = QStringLiteral("127.0.0.1");
        ActiveAccount.szPort = QString::number(gone->port());
        ActiveAccount.szFrom = QStringLiteral("shop@example.jp");
        SendRunEnvironment env;
        env.logPath = w.path(QStringLiteral("SendMail.Log"));
        env.journalPath = w.path(QStringLiteral("SendMail.journal"));
        env.now = [] { return QDateTime::currentDateTime(); };
        env.retryWaitsMs = {10}; // the third is tried again, and the server is gone
        QCOMPARE(runSend(ActiveAccount, list, source, env).outcome, SendRunResult::Outcome::Aborted);
    }
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    frmMail f(w.ctx);
    useAccount(f, smtp.port());
    int opened = 0;
    openViewerLikeTheRealOne(w, &opened);
    w.platform.answerMessage(MsgAnswer::Yes); // send the rest
    w.platform.answerMessage(MsgAnswer::No);  // but not the one in flight again
    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    const QStringList texts = w.platform.messageTexts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], QStringLiteral("前回の送信は 5 件中 2 件で中断されました。残りの 2 件を送信しますか？\n\n"
                                      "送信中だった次の宛先は、届いたかどうかわかりません。\n顧客2 <c2@example.jp>"));
    QVERIFY(texts[1].startsWith(QStringLiteral("顧客2 <c2@example.jp> にも、もう一度送りますか？")));
    QCOMPARE(texts[2], QStringLiteral("2") + kDone);
    QStringList to;
    for (const ReceivedMail &m : smtp.messages())
        to += m.envelopeTo;
    QCOMPARE(to, (QStringList{QStringLiteral("c3@example.jp"), QStringLiteral("c4@example.jp")}));
    QCOMPARE(smtp.messages().at(0).subject, QStringLiteral("前回の件名"));
    QCOMPARE(smtp.messages().at(0).text, QStringLiteral("顧客3\r\n前回の本文\r\n"));
    QVERIFY(!QFile::exists(w.path(QStringLiteral("SendMail.journal"))));
    QCOMPARE(opened, 1);
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(TestSend)
#include "tst_send.moc"
