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

    QCOMPARE(written,
             (QStringList{"Account",         "szServer3",          "szFrom3",       "Signature3",    "BodyHeader3",
                          "szFromName3",     "Check1V3",           "Check2V3",      "User3",         "UserPass3",
                          "szPort3",         "Check3V3",           "MaxPerMinute3", "AuthMethod3",   "OAuthProvider3",
                          "OAuthClientId3",  "OAuthClientSecret3", "OAuthTenant3",  "OAuthAuthUrl3", "OAuthTokenUrl3",
                          "OAuthDeviceUrl3", "OAuthScope3"}));
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
