#include "mailservers.h"
#include "runfixture.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "settingsstore.h"
#include "unsubscribe.h"
#include "unsubscribetoken.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

// How Python's email package reads a message's unsubscribe headers and
// text: {"uris": [...], "post": "...", "id": "...", "text": "..."}.
QJsonObject pythonReading(const QByteArray &raw)
{
    static const char *script = R"(
import email, email.policy, json, re, sys
m = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
lu = m.get_all('List-Unsubscribe') or []
uris = re.findall(r'<([^>]*)>', ' '.join(str(v) for v in lu))
print(json.dumps({'count': len(lu), 'uris': uris, 'post': str(m.get('List-Unsubscribe-Post', '')),
                  'id': str(m.get('Message-ID', '')), 'text': m.get_body(('plain',)).get_content(),
                  'defects': len(m.defects)}))
)";
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script)});
    if (!p.waitForStarted())
        return {};
    p.write(raw);
    p.closeWriteChannel();
    p.waitForFinished();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

} // namespace

class TestUnsubscribe : public QObject {
    Q_OBJECT
private slots:
    void headersAndFooterArriveForEachRecipient_data();
    void headersAndFooterArriveForEachRecipient();
    void noticeIsAskedForWhenTheTextLacksAWayOrAName_data();
    void noticeIsAskedForWhenTheTextLacksAWayOrAName();
};

void TestUnsubscribe::headersAndFooterArriveForEachRecipient_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("url");
    QTest::addColumn<MailCharset>("charset");
    QTest::addColumn<QString>("requestsTo");
    QTest::newRow("one-click page") << QStringLiteral("stop@example.jp") << QStringLiteral("https://example.jp/stop")
                                    << MailCharset::Utf8 << QStringLiteral("stop@example.jp");
    QTest::newRow("mail only, sender's address")
        << QString() << QString() << MailCharset::Utf8 << QStringLiteral("shop@example.jp");
    QTest::newRow("ISO-2022-JP, page with a query")
        << QStringLiteral("stop@example.jp") << QStringLiteral("https://example.jp/stop?list=7")
        << MailCharset::Iso2022Jp << QStringLiteral("stop@example.jp");
    QTest::newRow("a page that is not https is left out")
        << QStringLiteral("stop@example.jp") << QStringLiteral("http://example.jp/stop") << MailCharset::Utf8
        << QStringLiteral("stop@example.jp");
}

void TestUnsubscribe::headersAndFooterArriveForEachRecipient()
{
    QFETCH(QString, address);
    QFETCH(QString, url);
    QFETCH(MailCharset, charset);
    QFETCH(QString, requestsTo);
    const bool page = url.startsWith(QLatin1String("https:"));

    TestWorld w;
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    AccountRecord a = account(smtp.port());
    a.Charset = charset;
    a.Unsubscribe = true;
    a.UnsubscribeAddress = address;
    a.UnsubscribeUrl = url;
    a.UnsubscribeFooter = defaultUnsubscribeFooter();
    SendRunEnvironment env;
    env.logPath = SentMailLog::pathIn(w.dir.path());
    env.now = [] { return kClock; };
    env.transport.settingsFile = w.path(QStringLiteral("settings.ini"));
    const QStringList to = {QStringLiteral("sato@example.jp"), QStringLiteral("Suzuki@Example.jp")};
    for (const QString &t : to)
        w.sendList.append(QStringLiteral("名前"), QString(), t);
    Inputs in;
    in.check1 = 0;
    QCOMPARE(runSend(a, w.sendList, in, env).accepted, 2);

    SettingsStore settings(env.transport.settingsFile);
    const QByteArray secret = unsubscribeSecret(settings);
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject r = pythonReading(got[i].raw);
        QCOMPARE(r.value(QLatin1String("defects")).toInt(-1), 0);
        QCOMPARE(r.value(QLatin1String("count")).toInt(), 1);
        const QJsonArray uris = r.value(QLatin1String("uris")).toArray();
        QCOMPARE(uris.size(), page ? 2 : 1);
        const QUrl mailto(uris[0].toString());
        QCOMPARE(mailto.scheme(), QStringLiteral("mailto"));
        QCOMPARE(mailto.path(), requestsTo);
        const QString subject = QUrlQuery(mailto).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded);
        QCOMPARE(findTokenAddress(subject.toLatin1(), secret), to[i].toLower());
        QCOMPARE(findTokenAddress(r.value(QLatin1String("id")).toString().toLatin1(), secret), to[i].toLower());
        const QString text = r.value(QLatin1String("text")).toString();
        QVERIFY2(text.startsWith(in.body + QStringLiteral("\r\n\r\n―")), qPrintable(text));
        QVERIFY2(text.contains(requestsTo + QStringLiteral(" までお送りください。")), qPrintable(text));
        if (page) {
            const QUrl https(uris[1].toString());
            QCOMPARE(https.scheme(), QStringLiteral("https"));
            QVERIFY(https.toString().startsWith(url));
            QCOMPARE(findTokenAddress(https.query().toLatin1(), secret), to[i].toLower());
            QCOMPARE(r.value(QLatin1String("post")).toString(), QStringLiteral("List-Unsubscribe=One-Click"));
            QVERIFY2(text.contains(QStringLiteral("ページ: ") + https.toString(QUrl::FullyEncoded)), qPrintable(text));
        } else {
            QCOMPARE(r.value(QLatin1String("post")).toString(), QString());
            QVERIFY2(!text.contains(QStringLiteral("ページ")) && !text.contains(QLatin1Char('{')), qPrintable(text));
        }
    }
}

void TestUnsubscribe::noticeIsAskedForWhenTheTextLacksAWayOrAName_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("footer");
    QTest::addColumn<bool>("notAdvertising");
    QTest::addColumn<bool>("asked");
    const QString name = QStringLiteral("山田商店\r\n");
    QTest::newRow("nothing") << QStringLiteral("ご案内です。") << false << false << true;
    QTest::newRow("name and sender address") << name + QStringLiteral("SHOP@example.jp") << false << false << false;
    QTest::newRow("name and page") << name + QStringLiteral("https://example.jp/stop") << false << false << false;
    QTest::newRow("address without a name") << QStringLiteral("shop@example.jp") << false << false << true;
    QTest::newRow("name, footer gives the address") << name << true << false << false;
    QTest::newRow("footer without a name") << QStringLiteral("ご案内です。") << true << false << true;
    QTest::newRow("not advertising") << QStringLiteral("ご案内です。") << false << true << false;
}

void TestUnsubscribe::noticeIsAskedForWhenTheTextLacksAWayOrAName()
{
    QFETCH(QString, body);
    QFETCH(bool, footer);
    QFETCH(bool, notAdvertising);
    QFETCH(bool, asked);
    AccountRecord a = account(25);
    a.UnsubscribeUrl = QStringLiteral("https://example.jp/stop");
    a.Unsubscribe = footer;
    a.UnsubscribeFooter = defaultUnsubscribeFooter();
    a.NotAdvertising = notAdvertising;
    QCOMPARE(lacksUnsubscribeNotice(a, body), asked);
}

QTEST_GUILESS_MAIN(TestUnsubscribe)
#include "tst_unsubscribe.moc"
