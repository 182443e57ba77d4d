#include "account.h"
#include "appwindows.h"
#include "frmmail.h"
#include "frmoptions.h"
#include "settingsstore.h"
#include "testutil.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

namespace {
const QString kNotSetUp = QStringLiteral("メール送信　アカウントが設定されていません。登録を行いますか？");

struct DialogSeen {
    QWidget *owner = nullptr;
    int opened = 0;
};

// What the user does in the account dialog: optionally choose a profile, fill
// in a working account, press OK.
std::function<void(QWidget *)> fillAndOk(DialogSeen *seen, int profile, const QString &server, const QString &name)
{
    return [=](QWidget *win) {
        auto *d = qobject_cast<frmOptions *>(win);
        QVERIFY(d);
        ++seen->opened;
        seen->owner = d->parentWidget();
        if (profile >= 0) {
            d->Combo1->setCurrentIndex(profile);
            emit d->Combo1->activated(profile);
        }
        d->Text1->setText(server);
        d->Text2->setText(QStringLiteral("sender@example.jp"));
        d->Text5->setText(name);
        d->Text6->setText(QStringLiteral("user"));
        d->Text7->setText(QStringLiteral("secret"));
        d->Text8->setText(QStringLiteral("587"));
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
        QVERIFY(!d->isVisible());
    };
}

QAction *toolbarAction(frmMail &f, const QString &key)
{
    for (QAction *a : f.tbToolBar->actions())
        if (a->data().toString() == key)
            return a;
    return nullptr;
}
} // namespace

class TestAccountDialogMain : public QObject {
    Q_OBJECT
private slots:
    void init() { ActiveAccount = AccountRecord(); }
    void firstRunQuestionOpensTheDialogAndShowsTheNewAccount();
    void everyOpenerShowsTheDialogOwnedByTheMainWindow();
    void sendWithoutAServerOpensTheDialog();
};

void TestAccountDialogMain::firstRunQuestionOpensTheDialogAndShowsTheNewAccount()
{
    TestWorld w;
    wireWindows(w.ctx);
    frmMail f(w.ctx);
    QVERIFY(f.AccountUnset);
    DialogSeen seen;
    w.platform.answerMessage(MsgAnswer::Yes);
    w.platform.answerModal(QStringLiteral("frmOptions"),
                           fillAndOk(&seen, -1, QStringLiteral("smtp.example.jp"), QStringLiteral("山田")));
    f.Form_Activate();
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(seen.opened, 1);
    QCOMPARE(seen.owner, &f);
    QCOMPARE(w.platform.messageTexts(), QStringList{kNotSetUp});
    // Closing the dialog activated the main window again, which shows the saved account.
    QCOMPARE(f.sbPanel1->text(), QStringLiteral("　アカウント(規定）　　Server/smtp.example.jp  From Name/山田"));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("szServer")), QStringLiteral("smtp.example.jp"));
}

void TestAccountDialogMain::everyOpenerShowsTheDialogOwnedByTheMainWindow()
{
    TestWorld w;
    wireWindows(w.ctx);
    w.settings->setValue(QStringLiteral("szServer"), QStringLiteral("old.example.jp"));
    w.settings->setValue(QStringLiteral("szFromName"), QStringLiteral("旧"));
    frmMail f(w.ctx);
    f.Form_Activate();
    QVERIFY(w.platform.calls.isEmpty());

    struct Opener {
        const char *what;
        std::function<void()> open;
    };
    QAction *tbAccount = toolbarAction(f, QStringLiteral("送信ｱｶｳﾝﾄ"));
    QVERIFY(tbAccount);
    const Opener openers[] = {
        {"tools menu", [&] { f.mnuToolsOptions->trigger(); }},
        {"toolbar", [&] { tbAccount->trigger(); }},
        {"signature menu", [&] { f.mnuSine->trigger(); }},
    };
    int profile = 1;
    for (const Opener &o : openers) {
        DialogSeen seen;
        const QString server = QStringLiteral("smtp%1.example.jp").arg(profile);
        w.platform.answerModal(QStringLiteral("frmOptions"),
                               fillAndOk(&seen, profile, server, QStringLiteral("名%1").arg(profile)));
        o.open();
        VERIFY_PLATFORM(w.platform);
        QVERIFY2(seen.opened == 1, o.what);
        QVERIFY2(seen.owner == &f, o.what);
        QCOMPARE(f.sbPanel1->text(), accountStatusLabel(profile) + QStringLiteral("Server/") + server
                                         + QStringLiteral("  From Name/名%1").arg(profile));
        QCOMPARE(w.settings->value(QStringLiteral("Account")), QString::number(profile));
        ++profile;
    }
    QVERIFY(w.platform.messageTexts().isEmpty());
}

void TestAccountDialogMain::sendWithoutAServerOpensTheDialog()
{
    TestWorld w;
    wireWindows(w.ctx);
    w.settings->setValue(QStringLiteral("szServer"), QStringLiteral("smtp.example.jp"));
    w.settings->setValue(QStringLiteral("szFrom"), QString());
    frmMail f(w.ctx);
    QVERIFY(!f.AccountUnset);
    DialogSeen seen;
    w.platform.answerModal(QStringLiteral("frmOptions"),
                           fillAndOk(&seen, -1, QStringLiteral("fixed.example.jp"), QStringLiteral("送信者")));
    f.Command1_Click();
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("メールサーバー情報に誤りがあります。")});
    QCOMPARE(seen.opened, 1);
    QCOMPARE(seen.owner, &f);
    QCOMPARE(ActiveAccount.szFrom, QStringLiteral("sender@example.jp"));
    QCOMPARE(f.sbPanel1->text(), QStringLiteral("　アカウント(規定）　　Server/fixed.example.jp  From Name/送信者"));
}

QTEST_MAIN(TestAccountDialogMain)
#include "tst_accountdialog_main.moc"
