// The unsubscribe token: readable back for its own address only, and only
// with the secret it was made with.

#include "settingsstore.h"
#include "unsubscribetoken.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_UnsubscribeToken : public QObject {
    Q_OBJECT
private slots:
    void onlyATokenMadeWithTheSecretNamesAnAddress_data();
    void onlyATokenMadeWithTheSecretNamesAnAddress();
    void theSecretIsMadeOnceAndKept();
};

namespace {
const QByteArray kSecret = "0123456789abcdef0123456789abcdef";
}

void tst_UnsubscribeToken::onlyATokenMadeWithTheSecretNamesAnAddress_data()
{
    const QByteArray good = unsubscribeToken(QStringLiteral("Taro@Example.jp"), kSecret);
    const QByteArray other = unsubscribeToken(QStringLiteral("hanako@example.jp"), kSecret);
    const qsizetype dot = good.indexOf('.');
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("address");
    QTest::newRow("own token") << good << QStringLiteral("taro@example.jp");
    QTest::newRow("in a subject") << "Re: 配信停止 " + good + "\r\n" << QStringLiteral("taro@example.jp");
    QTest::newRow("in a Message-ID") << "Message-ID: <lxq.3." + good + "@example.jp>"
                                     << QStringLiteral("taro@example.jp");
    QTest::newRow("forged: another address, this hash") << other.left(other.indexOf('.')) + good.mid(dot) << QString();
    QTest::newRow("made with another secret")
        << unsubscribeToken(QStringLiteral("taro@example.jp"), "other") << QString();
    QTest::newRow("hash cut short") << good.left(good.size() - 2) << QString();
    QTest::newRow("no hash") << good.left(dot) << QString();
    QTest::newRow("not base64") << QByteArray("qpu-!!!.???") << QString();
    QTest::newRow("forged first, own after") << "qpu-eA.AAAAAAAAAAAAAAAA " + good << QStringLiteral("taro@example.jp");
}

void tst_UnsubscribeToken::onlyATokenMadeWithTheSecretNamesAnAddress()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, address);
    QCOMPARE(findTokenAddress(text, kSecret), address);
}

void tst_UnsubscribeToken::theSecretIsMadeOnceAndKept()
{
    QTemporaryDir dir;
    QByteArray first;
    {
        SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
        first = unsubscribeSecret(settings);
        QCOMPARE(first.size(), 64);
        QCOMPARE(unsubscribeSecret(settings), first);
    }
    SettingsStore again(dir.filePath(QStringLiteral("settings.ini")));
    QCOMPARE(unsubscribeSecret(again), first);
    QTemporaryDir otherDir;
    SettingsStore other(otherDir.filePath(QStringLiteral("settings.ini")));
    QVERIFY(unsubscribeSecret(other) != first);
}

QTEST_GUILESS_MAIN(tst_UnsubscribeToken)
#include "tst_unsubscribetoken.moc"
