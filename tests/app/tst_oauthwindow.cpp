// The window's side of an OAuth 2.0 account: サインイン in the account
// dialog through the platform's "open URL" (faked here: the test's browser
// follows the address), and a run whose sign-in is gone asking for a new one.

#include "account.h"
#include "frmmail.h"
#include "frmoptions.h"
#include "mailservers.h"
#include "oauthservers.h"
#include "signinpanel.h"
#include "testutil.h"
#include "unsubscribepanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class OAuthWindowTest : public QObject {
    Q_OBJECT
    OAuthTestServer m_auth;

    // The dialog with profile 0 set to the test server as その他.
    static void fillAccount(frmOptions &dlg, const OAuthTestServer &auth)
    {
        dlg.Text1->setText(QStringLiteral("127.0.0.1"));
        dlg.Text8->setText(QStringLiteral("25"));
        dlg.Text5->setText(QStringLiteral("花子"));
        dlg.Text2->setText(QStringLiteral("hanako@example.jp"));
        dlg.Check1->setChecked(true);
        SignInPanel *p = dlg.SignIn;
        p->cboAuthMethod->setCurrentIndex(1);
        p->cboAuthMethod_Click();
        p->cboProvider->setCurrentIndex(2);
        p->cboProvider_Click();
        p->txtClientId->setText(QStringLiteral("quillpost"));
        p->txtAuthUrl->setText(auth.authUrl());
        p->txtTokenUrl->setText(auth.tokenUrl());
        p->txtScope->setText(OAuthTestServer::scope());
    }

private slots:
    void initTestCase() { QVERIFY2(m_auth.start(), qPrintable(m_auth.error())); }
    void signInFromTheDialogKeepsTheSignIn();
    void runWithAGoneSignInAsksToSignInAgain();
};

void OAuthWindowTest::signInFromTheDialogKeepsTheSignIn()
{
    TestWorld w;
    ActiveAccount = AccountRecord();
    frmOptions dlg(w.ctx);
    fillAccount(dlg, m_auth);
    QSignalSpy finished(dlg.SignIn, &SignInPanel::signInFinished);
    QTest::mouseClick(dlg.SignIn->cmdSignIn, Qt::LeftButton);
    // The address goes to the desktop's browser through the seam.
    QTRY_COMPARE_WITH_TIMEOUT(w.platform.callsOf(QStringLiteral("shell")).size(), 1, 30000);
    const QString url = w.platform.callsOf(QStringLiteral("shell")).first().text;
    QVERIFY2(url.startsWith(m_auth.authUrl()) && url.contains(QLatin1String("code_challenge_method=S256")),
             qPrintable(url));
    m_auth.browse(url, QStringLiteral("hanako@example.jp"));
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.first().at(0).toBool(), true);
    QCOMPARE(dlg.SignIn->lblSignedIn->text(), QStringLiteral("hanako@example.jp　サインイン済み"));
    QCOMPARE(dlg.Text6->text(), QStringLiteral("hanako@example.jp"));
    dlg.cmdOK_Click();
    VERIFY_PLATFORM(w.platform);
    QVERIFY(ActiveAccount.OAuth2);
    QCOMPARE(w.settings->value(Setting::AuthMethod), QStringLiteral("oauth2"));
    QCOMPARE(w.settings->value(Setting::OAuthSignedIn), QStringLiteral("hanako@example.jp"));
    // No keyring answers in the tests: the refresh token is in the file.
    QVERIFY(!w.settings->value(Setting::OAuthRefreshToken).isEmpty());
    QVERIFY(dlg.SignIn->lblKeyring->isVisibleTo(&dlg));
}

void OAuthWindowTest::runWithAGoneSignInAsksToSignInAgain()
{
    TestWorld w;
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::OAuth, m_auth.userinfoUrl(), QStringLiteral("xoauth2")),
             qPrintable(smtp.error()));
    ActiveAccount = AccountRecord();
    {
        frmOptions dlg(w.ctx);
        fillAccount(dlg, m_auth);
        dlg.Text8->setText(QString::number(smtp.port()));
        dlg.Unsubscribe->chkNotAdvertising->setChecked(true); // the body carries no unsubscribe notice
        dlg.cmdOK_Click();
        VERIFY_PLATFORM(w.platform);
    }
    const SignInResult signIn = m_auth.signIn(QStringLiteral("hanako@example.jp"));
    QVERIFY2(signIn.ok(), qPrintable(signIn.message));
    QString error;
    QVERIFY(keepSignIn(*w.settings, 0, signIn.tokens, &error));
    ActiveAccount.OAuthSignedIn = signIn.tokens.signedInAddress;
    QVERIFY(m_auth.revoke(signIn.tokens.refreshToken));

    bool accountDialogOpened = false;
    w.ctx.openAccountDialog = [&](QWidget *) { accountDialogOpened = true; };
    frmMail mail(w.ctx);
    w.sendList.append(QStringLiteral("一郎"), QString(), QStringLiteral("ichiro@example.jp"));
    mail.Text1->setText(QStringLiteral("1"));
    mail.txtSubject->setText(QStringLiteral("ご案内"));
    mail.setBodyText(QStringLiteral("本文"));
    w.platform.answerMessage(MsgAnswer::Yes);
    mail.mnuFileSend->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!mail.isRunning(), 60000);

    VERIFY_PLATFORM(w.platform);
    const PlatformCall asked = w.platform.callsOf(QStringLiteral("message")).last();
    QVERIFY2(asked.text.startsWith(QStringLiteral("サインインの有効期限が切れました。")), qPrintable(asked.text));
    QVERIFY2(asked.text.contains(QLatin1String("invalid_grant")), qPrintable(asked.text)); // the provider's words
    QCOMPARE(asked.buttons, MsgButtons::YesNo);
    QVERIFY(accountDialogOpened);
    QCOMPARE(smtp.messageCount(), 0);
    QCOMPARE(w.sendList.count(), 1); // the list stays for the next run
}

QTEST_MAIN(OAuthWindowTest)
#include "tst_oauthwindow.moc"
