#include "account.h"
#include "settingsstore.h"
#include "testutil.h"

#include <QtTest>

class TestAccounts : public QObject {
    Q_OBJECT
private slots:
    void init() { ActiveAccount = AccountRecord(); }
    void emptyStoreGivesProfileZeroDefaults();
    void saveWritesTheTenKeysOfTheActiveProfileInOrder();
    void profileZeroKeysCarryNoDigit();
    void unsavedProfileReadsDefaults();
    void badValuesLeaveFieldsAlone();
    void olderFilesReadAsAutomatic_data();
    void olderFilesReadAsAutomatic();
    void statusLine();
};

void TestAccounts::emptyStoreGivesProfileZeroDefaults()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    const AccountRecord &a = ActiveAccount;
    QCOMPARE(a.Account, qint16(0));
    QVERIFY(a.szServer.startsWith(QStringLiteral("****")));
    QVERIFY(a.szFrom.startsWith(QStringLiteral("myname")));
    QCOMPARE(a.szFromName, QStringLiteral("Myname"));
    QCOMPARE(a.User, QStringLiteral("myname"));
    QCOMPARE(a.UserPass, QString());
    QCOMPARE(a.Signature, QString());
    QCOMPARE(a.BodyHeader, QString());
    QCOMPARE(a.szPort, QStringLiteral("25"));
    QCOMPARE(a.Check1V, qint16(1));
    QCOMPARE(a.Check2V, qint16(0));
    QCOMPARE(a.Check3V, qint16(0)); // what a file from before the key also gives
    QVERIFY(accountNotConfigured(a));
    // Reading writes nothing.
    QVERIFY(!w.settings->contains(QStringLiteral("szServer")));
}

void TestAccounts::saveWritesTheTenKeysOfTheActiveProfileInOrder()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("szServer"), QStringLiteral("smtp.zero.jp"));
    w.settings->setValue(QStringLiteral("Signature"), QStringLiteral("sig0"));
    QStringList written;
    w.settings->setWriteObserver([&](const QString &k, const QString &) { written << k; });

    ActiveAccount = {QStringLiteral("smtp.three.jp"),
                     QStringLiteral("three@x.jp"),
                     QStringLiteral("署名\r\n三"),
                     QStringLiteral("見出し"),
                     QStringLiteral("三郎"),
                     QStringLiteral("user3"),
                     QStringLiteral("pw3"),
                     QStringLiteral("587"),
                     1,
                     0,
                     3};
    SaveActiveAccount(*w.settings);

    QCOMPARE(written, (QStringList{"Account",
                                   "szServer3",
                                   "szFrom3",
                                   "Signature3",
                                   "BodyHeader3",
                                   "szFromName3",
                                   "Check1V3",
                                   "Check2V3",
                                   "User3",
                                   "UserPass3",
                                   "szPort3",
                                   "Check3V3",
                                   "MaxPerMinute3",
                                   "SmtpSecurity3",
                                   "Pop3Port3",
                                   "Pop3Security3",
                                   "CaFile3",
                                   "PinnedKeys3",
                                   "SmtpSizeLimit3",
                                   "AuthMethod3",
                                   "OAuthProvider3",
                                   "OAuthClientId3",
                                   "OAuthClientSecret3",
                                   "OAuthTenant3",
                                   "OAuthAuthUrl3",
                                   "OAuthTokenUrl3",
                                   "OAuthDeviceUrl3",
                                   "OAuthScope3",
                                   "MailCharset3",
                                   "SendWindow3",
                                   "SmtpConnections3",
                                   "Unsubscribe3",
                                   "UnsubscribeAddress3",
                                   "UnsubscribeUrl3",
                                   "UnsubscribeFooter3",
                                   "NotAdvertising3"}));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("Account")), QStringLiteral("3"));
    QCOMPARE(w.settings->value(QStringLiteral("UserPass3")), QStringLiteral("pw3"));
    QCOMPARE(w.settings->value(QStringLiteral("szPort3")), QStringLiteral("587"));
    QCOMPARE(w.settings->value(QStringLiteral("Check1V3")), QStringLiteral("1"));
    QCOMPARE(w.settings->value(QStringLiteral("Signature3")), QStringLiteral("署名\r\n三"));
    // Profile 0 is untouched.
    QCOMPARE(w.settings->value(QStringLiteral("szServer")), QStringLiteral("smtp.zero.jp"));
    QCOMPARE(w.settings->value(QStringLiteral("Signature")), QStringLiteral("sig0"));

    // The next start loads profile 3.
    ActiveAccount = AccountRecord();
    LoadActiveAccount(*w.settings);
    QCOMPARE(ActiveAccount.Account, qint16(3));
    QCOMPARE(ActiveAccount.szServer, QStringLiteral("smtp.three.jp"));
    QCOMPARE(ActiveAccount.szFromName, QStringLiteral("三郎"));
    QCOMPARE(ActiveAccount.Signature, QStringLiteral("署名\r\n三"));
}

void TestAccounts::profileZeroKeysCarryNoDigit()
{
    TestWorld w;
    QStringList written;
    w.settings->setWriteObserver([&](const QString &k, const QString &) { written << k; });
    ActiveAccount.Account = 0;
    ActiveAccount.Signature = QStringLiteral("zero");
    SaveActiveAccount(*w.settings);
    QVERIFY(written.contains(QStringLiteral("Signature")));
    for (const QString &k : written)
        QVERIFY2(!k.contains(QLatin1Char('0')), qPrintable(k));

    // An account outside 0..4 writes only the selector.
    written.clear();
    ActiveAccount.Account = 7;
    SaveActiveAccount(*w.settings);
    QCOMPARE(written, QStringList{"Account"});
}

void TestAccounts::unsavedProfileReadsDefaults()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("szServer"), QStringLiteral("smtp.zero.jp"));
    ActiveAccount.szServer = QStringLiteral("smtp.zero.jp");
    LoadAccountProfile(*w.settings, 2);
    QVERIFY(accountNotConfigured(ActiveAccount));
    QCOMPARE(ActiveAccount.szPort, QStringLiteral("25"));
    // LoadAccountProfile leaves the Account field to its caller.
    QCOMPARE(ActiveAccount.Account, qint16(0));
    // Out of range: nothing read.
    ActiveAccount.szServer = QStringLiteral("kept");
    LoadAccountProfile(*w.settings, 5);
    LoadAccountProfile(*w.settings, -1);
    QCOMPARE(ActiveAccount.szServer, QStringLiteral("kept"));
}

void TestAccounts::olderFilesReadAsAutomatic_data()
{
    QTest::addColumn<QString>("line"); // what profile 1 of the file holds besides the older keys
    QTest::addColumn<int>("smtp");     // ConnectionSecurity read
    QTest::addColumn<QString>("pop3Port");
    QTest::addColumn<int>("pop3");
    QTest::newRow("a file from before the keys") << "" << 0 << "110" << 0;
    QTest::newRow("STARTTLS and POP3S") << "SmtpSecurity1=1\nPop3Port1=995\nPop3Security1=2" << 1 << "995" << 2;
    QTest::newRow("a number no setting has") << "SmtpSecurity1=7\nPop3Security1=-1" << 0 << "110" << 0;
}

void TestAccounts::olderFilesReadAsAutomatic()
{
    QFETCH(QString, line);
    QFETCH(int, smtp);
    QFETCH(QString, pop3Port);
    QFETCH(int, pop3);
    TestWorld w;
    // The file as an older version wrote it: the ten keys, no others.
    w.settings.reset();
    writeBytes(w.path(QStringLiteral("settings.ini")),
               ("[Settings]\nAccount=1\nszServer1=smtp.example.jp\nszPort1=465\n"
                "Check1V1=1\nCheck2V1=1\nUser1=taro\nUserPass1=pw\n"
                + line + QLatin1Char('\n'))
                   .toUtf8());
    w.reopenSettings();
    ActiveAccount.SmtpSecurity = ConnectionSecurity::Tls;
    LoadActiveAccount(*w.settings);
    const AccountRecord &a = ActiveAccount;
    QCOMPARE(a.szServer, QStringLiteral("smtp.example.jp"));
    QCOMPARE(int(a.SmtpSecurity), smtp);
    QCOMPARE(a.Pop3Port, pop3Port);
    QCOMPARE(int(a.Pop3Security), pop3);
    QCOMPARE(a.CaFile, QString());
    QCOMPARE(a.PinnedKeys, QString());
    QCOMPARE(a.SmtpSizeLimit, qint64(0));
}

void TestAccounts::badValuesLeaveFieldsAlone()
{
    TestWorld w;
    w.settings->setValue(QStringLiteral("Check1V"), QStringLiteral("yes"));
    w.settings->setValue(QStringLiteral("Check2V"), QStringLiteral("1"));
    w.settings->setValue(QStringLiteral("szPort"), QStringLiteral("smtp"));
    ActiveAccount.Check1V = 0;
    LoadAccountProfile(*w.settings, 0);
    QCOMPARE(ActiveAccount.Check1V, qint16(0));             // not a number: unchanged
    QCOMPARE(ActiveAccount.Check2V, qint16(1));             // loading went on
    QCOMPARE(ActiveAccount.szPort, QStringLiteral("smtp")); // a port is text

    // A stored account outside 0..4 loads nothing at start-up.
    TestWorld w2;
    ActiveAccount = AccountRecord();
    w2.settings->setValue(QStringLiteral("Account"), QStringLiteral("9"));
    LoadActiveAccount(*w2.settings);
    QCOMPARE(ActiveAccount.Account, qint16(9));
    QCOMPARE(ActiveAccount.szServer, QString());
    QCOMPARE(ActiveAccount.Check1V, qint16(0));
}

void TestAccounts::statusLine()
{
    AccountRecord a;
    a.Account = 3;
    a.szServer = QStringLiteral("S");
    a.szFromName = QStringLiteral("N");
    QCOMPARE(accountStatusLine(a), QStringLiteral("　サブ　アカウント３　　Server/S  From Name/N"));
    a.Account = 0;
    QCOMPARE(accountStatusLine(a), QStringLiteral("　アカウント(規定）　　Server/S  From Name/N"));
    QCOMPARE(accountStatusLabel(5), QString());
}

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
