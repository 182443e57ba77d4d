// The commands with an OAuth 2.0 account, run as a script runs them, against
// the real authorisation server and an SMTP server that checks each token.

#include "addressdb.h"
#include "bouncemail.h"
#include "commandrun.h"
#include "mailservers.h"
#include "oauthservers.h"
#include "settingkeys.h"
#include "settingsstore.h"
#include "signin.h"
#include "testutil.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class OAuthCommandTest : public QObject {
    Q_OBJECT
    OAuthTestServer m_auth;
    SmtpTestServer m_smtp;
    QTemporaryDir m_dir;

    QString ini() const { return m_dir.filePath(QStringLiteral("config/Quillpost/Quillpost.ini")); }
    CommandWorld world() const { return CommandWorld(m_dir.filePath(QStringLiteral("config")), m_dir.path()); }
    // Profile 1: the test server as その他, its SMTP server, and (when
    // signIn) the refresh token of a sign-in as hanako.
    void writeOAuthAccount(bool device = false, bool signIn = true)
    {
        world().writeAccount(1, m_smtp.port());
        SettingsStore s(ini());
        s.setValue(Setting::SmtpAuth, QStringLiteral("1"), 1);
        s.setValue(Setting::From, QStringLiteral("hanako@example.jp"), 1);
        s.setValue(Setting::AuthMethod, QStringLiteral("oauth2"), 1);
        s.setValue(Setting::OAuthProvider, QStringLiteral("other"), 1);
        s.setValue(Setting::OAuthClientId, QStringLiteral("quillpost"), 1);
        s.setValue(Setting::OAuthAuthUrl, m_auth.authUrl(), 1);
        s.setValue(Setting::OAuthTokenUrl, m_auth.tokenUrl(), 1);
        s.setValue(Setting::OAuthDeviceUrl, device ? m_auth.deviceUrl() : QString(), 1);
        s.setValue(Setting::OAuthScope, OAuthTestServer::scope(), 1);
        if (!signIn)
            return;
        const SignInResult r = m_auth.signIn(QStringLiteral("hanako@example.jp"));
        QVERIFY2(r.ok(), qPrintable(r.message));
        QString error;
        QVERIFY2(keepSignIn(s, 1, r.tokens, &error), qPrintable(error));
    }
    // Each run its own folder: a log, its lock and its journal.
    QStringList sendArguments(const QString &folder) const
    {
        QDir().mkpath(m_dir.filePath(folder));
        const QString log = folder + QStringLiteral("/SendMail.Log");
        return {QStringLiteral("send"),
                QStringLiteral("--account"),
                QStringLiteral("1"),
                QStringLiteral("--list"),
                m_dir.filePath(QStringLiteral("list.csv")),
                QStringLiteral("--subject"),
                QStringLiteral("ご案内"),
                QStringLiteral("--body"),
                m_dir.filePath(QStringLiteral("body.txt")),
                QStringLiteral("--log"),
                m_dir.filePath(log)};
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_auth.start(), qPrintable(m_auth.error()));
        QVERIFY2(m_smtp.start(SmtpTestServer::Mode::OAuth, m_auth.userinfoUrl(), QStringLiteral("xoauth2")),
                 qPrintable(m_smtp.error()));
        writeBytes(m_dir.filePath(QStringLiteral("list.csv")), "一郎,,ichiro@example.jp\r\n");
        writeBytes(m_dir.filePath(QStringLiteral("body.txt")), "本文です。\r\n");
    }

    void expiredSignInEndsTheRunBeforeAnyMessage();
    void twoRunsRefreshingAtOnceBothSend();
    void loginOnAnotherDeviceKeepsTheSignIn();
    void dryRunAsksNoTokenOfAnyone();
    void connectionCheckSignsInFirst();
    void mailboxReadingSignsInFirst();
};

void OAuthCommandTest::expiredSignInEndsTheRunBeforeAnyMessage()
{
    writeOAuthAccount();
    QVERIFY(m_auth.revoke(SettingsStore(ini()).secret(Setting::OAuthRefreshToken, 1)));
    const int before = m_smtp.messageCount();
    const CommandRun r = world().run(sendArguments(QStringLiteral("expired")));
    QCOMPARE(r.exit, 2);
    QCOMPARE(r.out.trimmed(),
             QStringLiteral(
                 "サインインの有効期限が切れました。quillpost login --account 1 で再度サインインしてください。"));
    QVERIFY2(r.err.contains(QLatin1String("invalid_grant")), qPrintable(r.err));
    QCOMPARE(m_smtp.messageCount(), before);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("expired/SendMail.Log"))));
}

void OAuthCommandTest::twoRunsRefreshingAtOnceBothSend()
{
    // The server spends a refresh token on its use; the same one used twice
    // revokes the sign-in. Two runs that start together take turns.
    writeOAuthAccount();
    const int before = m_smtp.messageCount();
    QProcess runs[3];
    for (int i = 0; i < 3; ++i)
        world().start(runs[i], sendArguments(QStringLiteral("run%1").arg(i)));
    for (QProcess &run : runs) {
        QVERIFY(run.waitForFinished(60000));
        QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
    }
    QCOMPARE(m_smtp.messageCount(), before + 3);
}

void OAuthCommandTest::loginOnAnotherDeviceKeepsTheSignIn()
{
    writeOAuthAccount(true, false);
    QProcess login;
    world().start(login, {QStringLiteral("login"), QStringLiteral("--account"), QStringLiteral("1")});
    // The address and the code, as the user sees them.
    QString shown;
    const QRegularExpression prompt(QStringLiteral("ブラウザーで (\\S+) を開き、コード (\\S+) を入力"));
    QRegularExpressionMatch m;
    while (!(m = prompt.match(shown)).hasMatch()) {
        QVERIFY2(login.waitForReadyRead(60000), qPrintable(shown + login.readAllStandardError()));
        shown += QString::fromUtf8(login.readAllStandardOutput());
    }
    const QString page = m_auth.browse(m.captured(1), QStringLiteral("hanako@example.jp"),
                                       {QStringLiteral("--user-code"), m.captured(2)});
    QVERIFY(login.waitForFinished(60000));
    shown += QString::fromUtf8(login.readAllStandardOutput());
    QVERIFY2(login.exitCode() == 0, qPrintable(shown + login.readAllStandardError() + page));
    QVERIFY2(shown.contains(QStringLiteral("サインインしました（hanako@example.jp）。")), qPrintable(shown));
    // The keyring is out of reach here: the sign-in is in the file, and works.
    QVERIFY(!SettingsStore(ini()).value(Setting::OAuthRefreshToken, 1).isEmpty());
    const int before = m_smtp.messageCount();
    const CommandRun r = world().run(sendArguments(QStringLiteral("device")));
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QCOMPARE(m_smtp.messageCount(), before + 1);
}

void OAuthCommandTest::dryRunAsksNoTokenOfAnyone()
{
    // Not signed in at all: a run that asked for a token would stop.
    writeOAuthAccount(false, false);
    SettingsStore(ini()).remove(settingKey(Setting::OAuthRefreshToken, 1));
    QStringList args = sendArguments(QStringLiteral("dry"));
    args << QStringLiteral("--dry-run") << m_dir.filePath(QStringLiteral("dry/out"));
    const CommandRun r = world().run(args);
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("dry/out/00001.eml"))));
}

void OAuthCommandTest::connectionCheckSignsInFirst()
{
    writeOAuthAccount();
    const QStringList args{QStringLiteral("check"), QStringLiteral("--account"), QStringLiteral("1")};
    CommandRun r = world().run(args);
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    r.out.replace(QStringLiteral("\n      "), QStringLiteral(": ")); // a step's title and text on one line
    QVERIFY2(r.out.contains(QStringLiteral("[OK] サインイン: hanako@example.jp のアクセストークンを取得しました。")),
             qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("[OK] SMTP: ログイン: hanako@example.jp としてログインしました。")),
             qPrintable(r.out));

    QVERIFY(m_auth.revoke(SettingsStore(ini()).secret(Setting::OAuthRefreshToken, 1)));
    r = world().run(args);
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.out.contains(QStringLiteral("サインインの有効期限が切れました。")), qPrintable(r.out));
    QVERIFY2(!r.out.contains(QStringLiteral("SMTP")), qPrintable(r.out));
}

void OAuthCommandTest::mailboxReadingSignsInFirst()
{
    Pop3TestServer pop;
    pop.setOAuth(m_auth.userinfoUrl());
    QVERIFY2(pop.start({}, {}), qPrintable(pop.error()));
    writeOAuthAccount();
    SettingsStore(ini()).setValue(Setting::Pop3Port, QString::number(pop.port()), 1);
    QVERIFY(pop.deliver(QStringLiteral("hanako@example.jp"), QStringLiteral("1.bounce"),
                        BounceMail(QByteArray("any"))
                            .postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 unknown")));
    const QStringList args{QStringLiteral("inbox"), QStringLiteral("--account"), QStringLiteral("1"),
                           QStringLiteral("--database"), m_dir.filePath(QStringLiteral("inbox.cdb"))};
    {
        AddressDb db;
        QVERIFY(db.open(args.last(), true));
    }
    CommandRun r = world().run(args);
    QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
    QVERIFY2(r.out.startsWith(QStringLiteral("a@example.jp\tエラー 5.1.1")), qPrintable(r.out));

    QVERIFY(m_auth.revoke(SettingsStore(ini()).secret(Setting::OAuthRefreshToken, 1)));
    r = world().run(args);
    QCOMPARE(r.exit, 2);
    QCOMPARE(r.out.trimmed(),
             QStringLiteral(
                 "サインインの有効期限が切れました。quillpost login --account 1 で再度サインインしてください。"));
}

QTEST_GUILESS_MAIN(OAuthCommandTest)
#include "tst_oauthcommand.moc"
