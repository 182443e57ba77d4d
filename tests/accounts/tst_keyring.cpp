// Secrets in a real Secret Service: gnome-keyring-daemon on a private
// session bus of the test's own, under its own folder.

#include "account.h"
#include "keyring.h"
#include "settingsstore.h"
#include "signin.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class KeyringTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcess m_bus;

    QString ini() const { return m_dir.filePath(QStringLiteral("Quillpost.ini")); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void passwordAndRefreshTokenAreInTheKeyringNotTheFile();
    void passwordOfAnOldFileMovesToTheKeyringOnSave();
};

void KeyringTest::initTestCase()
{
    const QString folder = m_dir.path();
    QDir().mkpath(folder + QStringLiteral("/run"));
    QFile::setPermissions(folder + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--address=unix:path=") + folder + QStringLiteral("/bus")});
    QVERIFY2(m_bus.waitForStarted(10000) && m_bus.waitForReadyRead(30000), "dbus-daemon did not start");
    const QByteArray address = m_bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    // The keyring's files under the test's folder; "test" unlocks it.
    QProcess keyring;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/run"));
    env.insert(QStringLiteral("HOME"), folder);
    keyring.setProcessEnvironment(env);
    keyring.start(QStringLiteral("gnome-keyring-daemon"),
                  {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    QVERIFY(keyring.waitForStarted(10000));
    keyring.write("test");
    keyring.closeWriteChannel();
    QVERIFY2(keyring.waitForFinished(30000) && keyring.exitCode() == 0, keyring.readAllStandardError().constData());
    QVERIFY2(keyring::available(), "the keyring on the private bus does not answer");
}

void KeyringTest::cleanupTestCase()
{
    // The keyring daemon leaves with its bus.
    m_bus.terminate();
    m_bus.waitForFinished(5000);
}

void KeyringTest::passwordAndRefreshTokenAreInTheKeyringNotTheFile()
{
    {
        SettingsStore store(ini());
        ActiveAccount = AccountRecord();
        ActiveAccount.Account = 3;
        ActiveAccount.szServer = QStringLiteral("smtp.example.jp");
        ActiveAccount.UserPass = QStringLiteral("pass-word-7");
        SaveActiveAccount(store);
        OAuthTokens tokens;
        tokens.refreshToken = QStringLiteral("refresh-token-9");
        tokens.signedInAddress = QStringLiteral("taro@example.jp");
        QString error;
        SettingsStore::SecretPlace place = SettingsStore::SecretPlace::File;
        QVERIFY(keepSignIn(store, 3, tokens, &error, &place));
        QCOMPARE(int(place), int(SettingsStore::SecretPlace::Keyring));
    }
    const QByteArray file = readBytes(ini());
    QVERIFY(file.contains("szServer3=smtp.example.jp"));
    QVERIFY2(!file.contains("pass-word-7") && !file.contains("UserPass3"), file.constData());
    QVERIFY2(!file.contains("refresh-token-9") && !file.contains("OAuthRefreshToken3"), file.constData());
    QCOMPARE(keyring::read(QStringLiteral("UserPass3")).value, QStringLiteral("pass-word-7"));
    QCOMPARE(keyring::read(QStringLiteral("OAuthRefreshToken3")).value, QStringLiteral("refresh-token-9"));
    // And read back as the account's.
    SettingsStore store(ini());
    AccountRecord a;
    readAccountProfile(store, 3, a);
    QCOMPARE(a.UserPass, QStringLiteral("pass-word-7"));
    QVERIFY(hasSignIn(store, 3));
}

void KeyringTest::passwordOfAnOldFileMovesToTheKeyringOnSave()
{
    writeBytes(ini(), "[Settings]\nszServer2=mail.example.jp\nUserPass2=old-secret\n");
    SettingsStore store(ini());
    ActiveAccount = AccountRecord();
    LoadAccountProfile(store, 2);
    QCOMPARE(ActiveAccount.UserPass, QStringLiteral("old-secret")); // still read from the file
    ActiveAccount.Account = 2;
    SaveActiveAccount(store);
    const QByteArray file = readBytes(ini());
    QVERIFY2(!file.contains("old-secret") && !file.contains("UserPass2"), file.constData());
    QCOMPARE(keyring::read(QStringLiteral("UserPass2")).value, QStringLiteral("old-secret"));
}

QTEST_GUILESS_MAIN(KeyringTest)
#include "tst_keyring.moc"
