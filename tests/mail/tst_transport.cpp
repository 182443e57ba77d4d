#include "certificate.h"
#include "curlconnection.h"
#include "curltransport.h"
#include "faultserver.h"
#include "mailservers.h"
#include "runfixture.h"
#include "sendlist.h"
#include "sentmaillog.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QtTest>

Q_DECLARE_METATYPE(MailCharset)

// The libcurl transport against real servers on loopback, and against
// servers that misbehave.
class TestTransport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void textArrivesExactly();
    void attachmentNameReadFromEitherForm_data();
    void attachmentNameReadFromEitherForm();
    void greetingNamesThisMachine_data();
    void greetingNamesThisMachine();
    void nonAsciiAddressNeedsSmtpUtf8();
    void refusedUpgradeSendsNoCredentials_data();
    void refusedUpgradeSendsNoCredentials();
    void tlsIsVerifiedWhereverItIsUsed_data();
    void tlsIsVerifiedWhereverItIsUsed();
    void passwordGoesInClearOnlyWhereAllowed();
    void connectionSecurityMeetsWhatTheServerOffers_data();
    void connectionSecurityMeetsWhatTheServerOffers();
    void certificateForAnotherNameTakesItsName();
    void pinnedKeyIsTrustedAndNoOther();
    void hostileRepliesEndInBoundedTime_data();
    void hostileRepliesEndInBoundedTime();
    void eachMessageEndTravelsWithTheNextEnvelope();

private:
    SendRunResult run(const AccountRecord &a, const QStringList &addresses, Inputs &in);
    std::unique_ptr<TestWorld> w;
    SendRunEnvironment env;
};

void TestTransport::init()
{
    w = std::make_unique<TestWorld>();
    env = SendRunEnvironment();
    env.logPath = SentMailLog::pathIn(w->dir.path());
    env.now = [] { return kClock; };
    env.retryWaitsMs = {10, 10, 10};
}

SendRunResult TestTransport::run(const AccountRecord &a, const QStringList &addresses, Inputs &in)
{
    w->sendList.clear();
    for (qsizetype i = 0; i < addresses.size(); ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i + 1), QString(), addresses[i]);
    return runSend(a, w->sendList, in, env);
}

void TestTransport::textArrivesExactly()
{
    const QString password = QStringLiteral("pässwörd①");
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), password), qPrintable(smtp.error()));
    const QString odd = QStringLiteral("😀𠮷¥〜é①—¢−");
    const QString textFile = w->path(QStringLiteral("Résumé_①.txt"));
    writeBytes(textFile, sjis(QStringLiteral("履歴書\r\n")));
    const QString picture = w->path(odd + QStringLiteral(".png"));
    writeBytes(picture, QByteArray("\x89PNG\r\n\x1a\n", 8));

    AccountRecord a = account(smtp.port(), true, password);
    a.szFromName = QStringLiteral("山田商店 ") + odd;
    w->sendList.append(QStringLiteral("𠮷田 ①"), QStringLiteral("Café ¥"), QStringLiteral("kichi@example.jp"));
    Inputs in;
    in.subjectText = QStringLiteral("Café ☕ 春 ") + odd;
    in.body = QStringLiteral("Müller 😀 €\r\n¥1,000〜 — ¢ − ①\r\n.𠮷野家 é");
    in.attachments = textFile + QLatin1Char('\t') + picture;
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QVERIFY2(r.outcome == SendRunResult::Outcome::Completed && r.accepted == 1, qPrintable(r.text));

    // Decoded by Python's email package on the server's side.
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].subject, in.subjectText);
    QCOMPARE(got[0].from, a.szFromName + QStringLiteral(" <shop@example.jp>"));
    QCOMPARE(got[0].text, QStringLiteral("𠮷田 ①\r\nCafé ¥　様\r\n") + in.body + QStringLiteral("\r\n"));
    QCOMPARE(got[0].attachments.size(), 2);
    QCOMPARE(got[0].attachments[0].fileName, QStringLiteral("Résumé_①.txt"));
    QVERIFY(QString(got[0].attachments[0].contentType)
                .remove(QLatin1Char('"'))
                .startsWith(QStringLiteral("text/plain; charset=Shift_JIS; name=")));
    QCOMPARE(got[0].attachments[0].bytes, sjis(QStringLiteral("履歴書\r\n")));
    QCOMPARE(got[0].attachments[1].fileName, odd + QStringLiteral(".png"));
    QVERIFY(got[0].attachments[1].contentType.startsWith(QStringLiteral("image/png; name=")));

    // The log stays code page 932; what it can't hold becomes "?".
    const QByteArray log = readBytes(env.logPath);
    QVERIFY(decodeCp932(log).has_value());
    QVERIFY(logLines(env.logPath).at(1).startsWith(QStringLiteral("?田 ①,Caf? \\,kichi@example.jp,送信済,")));
}

namespace {

// The message with the attachment's name in one form only: without the
// name= of Content-Type, or without the filename* of Content-Disposition.
QByteArray withoutNameParameter(QByteArray raw)
{
    const qsizetype start = raw.indexOf(";\r\n name=\"");
    return start < 0 ? raw : raw.remove(start, raw.indexOf('"', start + 10) + 1 - start);
}

QByteArray withoutFileNameStar(QByteArray raw)
{
    const qsizetype start = raw.indexOf("Content-Disposition: attachment;");
    const qsizetype end = raw.indexOf("\r\nContent-Transfer-Encoding", start);
    return start < 0 || end < 0 ? raw : raw.replace(start, end - start, "Content-Disposition: attachment");
}

// The attachments' names as a mail program's own parser reads them:
// Python's email package or Node's mailparser.
QStringList attachmentNames(const QString &reader, const QByteArray &raw)
{
    QProcess p;
    if (reader == QLatin1String("python")) {
        p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import email, email.policy, json, sys
m = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
print(json.dumps([p.get_filename() or '' for p in m.iter_attachments()]))
)")});
    } else {
        p.setWorkingDirectory(QStringLiteral(QUILLPOST_SOURCE_DIR "/tests"));
        p.start(QStringLiteral("node"), {QStringLiteral("-e"), QStringLiteral(R"(
const chunks = [];
process.stdin.on('data', (c) => chunks.push(c));
process.stdin.on('end', () => require('mailparser').simpleParser(Buffer.concat(chunks))
    .then((m) => console.log(JSON.stringify(m.attachments.map((a) => a.filename || '')))));
)")});
    }
    p.write(raw);
    p.closeWriteChannel();
    p.waitForFinished();
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
    if (!doc.isArray())
        return {reader + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError())};
    return QVariant(doc.array().toVariantList()).toStringList();
}

// The name= value of the first attachment, unfolded, as nkf reads it in its
// code page 932 mode.
QString nameByNkf(const QByteArray &raw)
{
    const qsizetype start = raw.indexOf("name=\"", raw.indexOf("Content-Type", raw.indexOf("\r\n\r\n"))) + 6;
    const QByteArray value = raw.mid(start, raw.indexOf('"', start) - start).replace("\r\n ", "");
    QProcess p;
    p.start(QStringLiteral("nkf"), {QStringLiteral("-w"), QStringLiteral("-m"), QStringLiteral("--cp932")});
    p.write(value);
    p.closeWriteChannel();
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

void TestTransport::attachmentNameReadFromEitherForm_data()
{
    QTest::addColumn<MailCharset>("charset");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("nameForm"); // how name= begins
    QTest::newRow("ASCII") << MailCharset::Utf8 << QStringLiteral("price \"list\".csv") << QByteArray("price \\\"");
    QTest::newRow("UTF-8, folded") << MailCharset::Utf8 << QStringLiteral("とても長いファイル名の添付資料です①😀.pdf")
                                   << QByteArray("=?UTF-8?B?");
    QTest::newRow("ISO-2022-JP, folded") << MailCharset::Iso2022Jp
                                         << QStringLiteral("2026年度　見積書（株式会社山田商店様）.xlsx")
                                         << QByteArray("=?ISO-2022-JP?B?");
    // nkf reads these as Windows does.
    QTest::newRow("ISO-2022-JP, NEC special characters")
        << MailCharset::Iso2022Jp << QStringLiteral("①議事録㈱№Ⅲ.docx") << QByteArray("=?ISO-2022-JP?B?");
    // Changed or lost in ISO-2022-JP, the name goes in UTF-8 instead.
    QTest::newRow("ISO-2022-JP, half-width katakana")
        << MailCharset::Iso2022Jp << QStringLiteral("ﾃｽﾄ資料.txt") << QByteArray("=?UTF-8?B?");
    QTest::newRow("ISO-2022-JP, emoji") << MailCharset::Iso2022Jp << QStringLiteral("写真😀.png")
                                        << QByteArray("=?UTF-8?B?");
}

void TestTransport::attachmentNameReadFromEitherForm()
{
    QFETCH(MailCharset, charset);
    QFETCH(QString, name);
    QFETCH(QByteArray, nameForm);
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeBytes(w->path(name), QByteArray("data\r\n"));
    AccountRecord a = account(smtp.port());
    a.Charset = charset;
    Inputs in;
    in.attachments = w->path(name);
    const SendRunResult r = run(a, {QStringLiteral("to@example.jp")}, in);
    QVERIFY2(r.outcome == SendRunResult::Outcome::Completed && r.accepted == 1, qPrintable(r.text));
    const QByteArray raw = smtp.messages().value(0).raw;
    QVERIFY2(raw.contains(";\r\n name=\"" + nameForm), raw.constData());
    const qsizetype start = raw.indexOf(";\r\n name=\"") + 3;
    for (const QByteArray &line : raw.mid(start, raw.indexOf('"', start + 7) + 2 - start).split('\n'))
        QVERIFY2(line.size() <= 77, line.constData());
    const QByteArray onlyFileNameStar = withoutNameParameter(raw);
    const QByteArray onlyName = withoutFileNameStar(raw);
    QVERIFY(onlyFileNameStar != raw && onlyName != raw);
    for (const QString &reader : {QStringLiteral("python"), QStringLiteral("node")}) {
        QCOMPARE(attachmentNames(reader, onlyFileNameStar), QStringList{name});
        // Python's ISO-2022-JP is JIS X 0208 alone.
        if (reader != QLatin1String("python") || !name.contains(QStringLiteral("①")))
            QCOMPARE(attachmentNames(reader, onlyName), QStringList{name});
    }
    if (nameForm.contains("ISO-2022-JP"))
        QCOMPARE(nameByNkf(raw), name);
}

void TestTransport::greetingNamesThisMachine_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("given"); // "": no fully qualified name
    QTest::addColumn<QString>("expected");
    QTest::newRow("a name with a dot") << "127.0.0.1"
                                       << "client.example.jp"
                                       << "client.example.jp";
    QTest::newRow("address literal, server by address") << "127.0.0.1"
                                                        << ""
                                                        << "[127.0.0.1]";
    // Found out once connected: the route to a name is not known before.
    QTest::newRow("address literal, server by name") << "localhost"
                                                     << ""
                                                     << "[127.0.0.1]";
}

void TestTransport::greetingNamesThisMachine()
{
    QFETCH(QString, host);
    QFETCH(QString, given);
    QFETCH(QString, expected);
    FaultServer server;
    QVERIFY2(server.start({}), qPrintable(server.error()));
    CurlConnection c;
    CurlConnection::Options o;
    o.host = host;
    o.port = server.port();
    o.replySeconds = 10;
    o.helloName = given.toLatin1();
    QCOMPARE(c.open(o), QString());
    const QList<FaultServer::Hello> hellos = server.hellos();
    QVERIFY(!hellos.isEmpty());
    QCOMPARE(hellos.last().verb, QStringLiteral("EHLO"));
    QCOMPARE(hellos.last().name, expected);
    // What the session goes on with is the answer to that greeting.
    bool pipelining = false;
    c.capability("PIPELINING", &pipelining);
    QVERIFY(pipelining);
}

void TestTransport::nonAsciiAddressNeedsSmtpUtf8()
{
    for (const bool offered : {true, false}) {
        init();
        SmtpTestServer smtp;
        smtp.setSmtpUtf8(offered);
        QVERIFY2(smtp.start(), qPrintable(smtp.error()));
        Inputs in;
        const SendRunResult r = run(account(smtp.port()),
                                    {QStringLiteral("a@example.jp"), QStringLiteral("jörg@example.de"),
                                     QStringLiteral("info@straße.de")},
                                    in);
        QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
        QStringList delivered;
        for (const ReceivedMail &m : smtp.messages())
            delivered += m.envelopeTo;
        if (offered) {
            // A domain outside ASCII goes as it is, ß and all.
            QCOMPARE(delivered, (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("jörg@example.de"),
                                             QStringLiteral("info@straße.de")}));
            QCOMPARE(smtp.messages().at(1).to, QStringLiteral("jörg@example.de"));
        } else {
            // Without SMTPUTF8 in its registered ASCII form, not as strasse.de.
            QCOMPARE(delivered, (QStringList{QStringLiteral("a@example.jp"), QStringLiteral("info@xn--strae-oqa.de")}));
            QCOMPARE(logLines(env.logPath).at(2),
                     QStringLiteral("宛先2,,j?rg@example.de,送信エラーThe server does not take addresses outside ASCII "
                                    "(no SMTPUTF8): j?rg@example.de,2005/04/01 9:05:07"));
        }
    }
}

void TestTransport::refusedUpgradeSendsNoCredentials_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("SMTP, STARTTLS answered 454") << "smtp-starttls-refused";
    QTest::newRow("POP3, STLS answered -ERR") << "pop3-stls-refused";
}

void TestTransport::refusedUpgradeSendsNoCredentials()
{
    QFETCH(QString, mode);
    ScriptedServer server;
    QVERIFY2(server.start(mode), qPrintable(server.error()));
    // Even on loopback, and even where the account allows clear text.
    AccountRecord a = account(server.port(), true);
    a.Check3V = 1;
    const bool pop = mode.startsWith(QLatin1String("pop3"));
    if (pop) {
        a.Check2V = 1;
        a.Pop3Port = QString::number(server.port());
    }
    Inputs in;
    const SendRunResult r = run(a, {QStringLiteral("a@example.jp")}, in);
    QCOMPARE(r.outcome, pop ? SendRunResult::Outcome::PopLoginFailed : SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("Cant connect Server")) && r.text.contains(QStringLiteral("refused")),
             qPrintable(r.text));
    QCOMPARE(server.credentials(), QStringList());
}

void TestTransport::tlsIsVerifiedWhereverItIsUsed_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("SMTP with STARTTLS") << "starttls";
    QTest::newRow("SMTP with TLS from the start") << "implicit";
    QTest::newRow("POP3 with STLS") << "stls";
    QTest::newRow("POP3S") << "pop3s";
}

void TestTransport::tlsIsVerifiedWhereverItIsUsed()
{
    QFETCH(QString, server);
    SmtpTestServer smtp;
    Pop3TestServer pop;
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.user = QStringLiteral("shop");
    s.password = QStringLiteral("secret");
    s.timeoutSeconds = 10;
    QString caFile;
    const bool isPop = server == QLatin1String("stls") || server == QLatin1String("pop3s");
    if (isPop) {
        const auto tls = server == QLatin1String("stls") ? Pop3TestServer::Tls::Stls : Pop3TestServer::Tls::Implicit;
        QVERIFY2(pop.start(s.user, s.password, tls), qPrintable(pop.error()));
        s.pop3Port = pop.port();
        s.pop3ImplicitTls = tls == Pop3TestServer::Tls::Implicit;
        caFile = pop.caFile();
    } else {
        const auto mode = server == QLatin1String("starttls") ? SmtpTestServer::Mode::StartTls
                                                              : SmtpTestServer::Mode::ImplicitTls;
        QVERIFY2(smtp.start(mode, s.user, s.password), qPrintable(smtp.error()));
        s.smtpPort = smtp.port();
        s.smtpImplicitTls = mode == SmtpTestServer::Mode::ImplicitTls;
        s.smtpAuth = true;
        caFile = smtp.caFile();
    }
    Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")), parseMailAddress(QStringLiteral("a@example.jp"))};
    const QByteArray message = "Subject: tls\r\n\r\nover TLS\r\n";
    auto attempt = [&](const QString &ca) {
        s.extraCaFile = ca;
        CurlTransport t(s);
        return isPop ? t.checkPop() : QVariant(t.send(e, message, nullptr).text);
    };
    // The throw-away certificate is not trusted: the server can't be used.
    const QVariant untrusted = attempt(QString());
    QVERIFY2(untrusted.toString().contains(QStringLiteral("Cant connect Server")), qPrintable(untrusted.toString()));
    const QVariant trusted = attempt(caFile);
    if (isPop) {
        QCOMPARE(trusted.typeId(), QMetaType::QVariantList);
    } else {
        QCOMPARE(trusted.toString(), QString());
        QCOMPARE(smtp.messages().size(), 1);
    }
}

void TestTransport::passwordGoesInClearOnlyWhereAllowed()
{
    QString address;
    for (const QHostAddress &h : QNetworkInterface::allAddresses())
        if (h.protocol() == QAbstractSocket::IPv4Protocol && !h.isLoopback())
            address = h.toString();
    if (address.isEmpty())
        QSKIP("this machine has no address but loopback");
    ScriptedServer server;
    QVERIFY2(server.start(QStringLiteral("smtp"), 0.3, address), qPrintable(server.error()));
    TransportSettings s;
    s.host = address;
    s.smtpPort = server.port();
    s.smtpAuth = true;
    s.user = QStringLiteral("shop");
    s.password = QStringLiteral("secret");
    Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")), parseMailAddress(QStringLiteral("a@example.jp"))};
    const QString refused = CurlTransport(s).send(e, "Subject: x\r\n\r\nx\r\n", nullptr).text;
    QVERIFY2(refused.contains(QStringLiteral("Cant connect Server")), qPrintable(refused));
    QCOMPARE(server.credentials(), QStringList());
    s.allowCleartextPassword = true;
    QCOMPARE(CurlTransport(s).send(e, "Subject: x\r\n\r\nx\r\n", nullptr).text, QString());
    QCOMPARE(server.credentials().size(), 1);
}

void TestTransport::connectionSecurityMeetsWhatTheServerOffers_data()
{
    QTest::addColumn<QString>("server");  // smtp-starttls, smtp-plain, smtp-tls, pop3-stls, pop3-plain, pop3-tls
    QTest::addColumn<int>("security");    // ConnectionSecurity of the account
    QTest::addColumn<QString>("failure"); // "" when the server is used
    const int autoTls = int(ConnectionSecurity::Auto), startTls = int(ConnectionSecurity::StartTls),
              tls = int(ConnectionSecurity::Tls);
    QTest::newRow("SMTP 自動, STARTTLS offered") << "smtp-starttls" << autoTls << "";
    QTest::newRow("SMTP 自動, none offered") << "smtp-plain" << autoTls << "";
    QTest::newRow("SMTP STARTTLS, offered") << "smtp-starttls" << startTls << "";
    QTest::newRow("SMTP STARTTLS, none offered") << "smtp-plain" << startTls << "the server offers no STARTTLS";
    QTest::newRow("SMTP SSL/TLS on a port not 465") << "smtp-tls" << tls << "";
    QTest::newRow("SMTP SSL/TLS to a server in clear") << "smtp-plain" << tls << "TLS handshake failed";
    QTest::newRow("POP3 自動, STLS offered") << "pop3-stls" << autoTls << "";
    QTest::newRow("POP3 自動, none offered") << "pop3-plain" << autoTls << "";
    QTest::newRow("POP3 STARTTLS, offered") << "pop3-stls" << startTls << "";
    QTest::newRow("POP3 STARTTLS, none offered") << "pop3-plain" << startTls << "the server offers no STLS";
    QTest::newRow("POP3 SSL/TLS on a port not 995") << "pop3-tls" << tls << "";
    QTest::newRow("POP3 SSL/TLS to a server in clear") << "pop3-plain" << tls << "TLS handshake failed";
}

void TestTransport::connectionSecurityMeetsWhatTheServerOffers()
{
    QFETCH(QString, server);
    QFETCH(int, security);
    QFETCH(QString, failure);
    SmtpTestServer smtp;
    Pop3TestServer pop;
    AccountRecord a = account(0, false);
    const bool isPop = server.startsWith(QLatin1String("pop3"));
    const QString kind = server.section(QLatin1Char('-'), 1);
    if (isPop) {
        const auto tls = kind == QLatin1String("stls")  ? Pop3TestServer::Tls::Stls
                         : kind == QLatin1String("tls") ? Pop3TestServer::Tls::Implicit
                                                        : Pop3TestServer::Tls::None;
        QVERIFY2(pop.start(a.User, a.UserPass, tls), qPrintable(pop.error()));
        a.Pop3Port = QString::number(pop.port());
        a.Pop3Security = connectionSecurity(qint16(security));
        a.CaFile = pop.caFile();
    } else {
        const auto mode = kind == QLatin1String("starttls") ? SmtpTestServer::Mode::StartTls
                          : kind == QLatin1String("tls")    ? SmtpTestServer::Mode::ImplicitTls
                                                            : SmtpTestServer::Mode::Plain;
        QVERIFY2(smtp.start(mode), qPrintable(smtp.error()));
        a.szPort = QString::number(smtp.port());
        a.SmtpSecurity = connectionSecurity(qint16(security));
        a.CaFile = smtp.caFile();
    }
    TransportOptions options;
    options.timeoutSeconds = 10;
    CurlTransport t(transportSettings(a, options));
    Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")), parseMailAddress(QStringLiteral("a@example.jp"))};
    QString text;
    if (isPop) {
        const QVariant r = t.checkPop();
        text = r.typeId() == QMetaType::QVariantList ? QString() : r.toString();
    } else {
        text = t.send(e, "Subject: x\r\n\r\nx\r\n", nullptr).text;
    }
    if (failure.isEmpty())
        QCOMPARE(text, QString());
    else
        QVERIFY2(text.contains(QStringLiteral("Cant connect Server")) && text.contains(failure), qPrintable(text));
    if (!isPop)
        QCOMPARE(smtp.messageCount(), failure.isEmpty() ? 1 : 0);
}

void TestTransport::certificateForAnotherNameTakesItsName()
{
    // A certificate for localhost, trusted through the account's file; the
    // account names the server by its address.
    SmtpTestServer smtp;
    smtp.setCertificateNames({QStringLiteral("DNS:localhost")});
    QVERIFY2(smtp.start(SmtpTestServer::Mode::StartTls), qPrintable(smtp.error()));
    AccountRecord a = account(smtp.port());
    TransportOptions options;
    options.timeoutSeconds = 10;
    options.untrustedCertificates = std::make_shared<UntrustedCertificateSink>();
    const Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")),
                     parseMailAddress(QStringLiteral("a@example.jp"))};
    auto send = [&] {
        return CurlTransport(transportSettings(a, options)).send(e, "Subject: x\r\n\r\nx\r\n", nullptr);
    };

    // Without the file nobody vouches for it either.
    QVERIFY(!send().accepted());
    std::optional<UntrustedCertificate> c = options.untrustedCertificates->take();
    QVERIFY(c);
    QCOMPARE(c->reasons, UntrustedCertificate::UnknownIssuer | UntrustedCertificate::NameMismatch);

    a.CaFile = smtp.caFile();
    const MessageResult refused = send();
    QVERIFY2(refused.kind == MessageResult::Kind::Unusable && refused.text.contains(QStringLiteral("not trusted")),
             qPrintable(refused.text));
    c = options.untrustedCertificates->take();
    QVERIFY(c);
    QCOMPARE(c->reasons, int(UntrustedCertificate::NameMismatch));
    QCOMPARE(c->host, QStringLiteral("127.0.0.1"));
    QCOMPARE(c->port, smtp.port());
    QCOMPARE(c->certificate.names, QStringList{QStringLiteral("localhost")});
    QCOMPARE(c->certificate.subject, QStringLiteral("CN=localhost"));
    QCOMPARE(smtp.messageCount(), 0);

    // "証明書の名前（localhost）をサーバー名に使う".
    a.szServer = usableCertificateName(c->certificate);
    QCOMPARE(a.szServer, QStringLiteral("localhost"));
    QCOMPARE(send().text, QString());
    QCOMPARE(smtp.messageCount(), 1);
    QVERIFY(!options.untrustedCertificates->take());
}

void TestTransport::pinnedKeyIsTrustedAndNoOther()
{
    // Self-signed: no authority vouches for it, whatever its name.
    SmtpTestServer first;
    QVERIFY2(first.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(first.error()));
    AccountRecord a = account(first.port());
    a.SmtpSecurity = ConnectionSecurity::Tls;
    TransportOptions options;
    options.timeoutSeconds = 10;
    options.untrustedCertificates = std::make_shared<UntrustedCertificateSink>();
    const Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")),
                     parseMailAddress(QStringLiteral("a@example.jp"))};
    auto send = [&] {
        return CurlTransport(transportSettings(a, options)).send(e, "Subject: x\r\n\r\nx\r\n", nullptr);
    };

    QVERIFY(!send().accepted());
    const std::optional<UntrustedCertificate> shown = options.untrustedCertificates->take();
    QVERIFY(shown);
    QCOMPARE(shown->reasons, int(UntrustedCertificate::UnknownIssuer));
    // The key's hash as openssl itself gives it, and the certificate's.
    QProcess openssl;
    openssl.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), QStringLiteral("openssl x509 -in '%1' -pubkey -noout | openssl pkey -pubin "
                                                        "-outform der | openssl dgst -sha256 -binary | base64")
                                             .arg(first.caFile())});
    QVERIFY(openssl.waitForFinished(30000));
    QCOMPARE(shown->certificate.publicKeyPin,
             QStringLiteral("sha256//") + QString::fromLatin1(openssl.readAllStandardOutput().trimmed()));

    // "この証明書を信頼する（このアカウントのみ）".
    a.PinnedKeys = withPinnedKey(a.PinnedKeys, shown->certificate.publicKeyPin);
    QCOMPARE(send().text, QString());
    QCOMPARE(first.messageCount(), 1);

    // Another server, another key: refused again, and shown.
    SmtpTestServer second;
    QVERIFY2(second.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(second.error()));
    a.szPort = QString::number(second.port());
    QVERIFY(!send().accepted());
    const std::optional<UntrustedCertificate> other = options.untrustedCertificates->take();
    QVERIFY(other);
    QCOMPARE(other->reasons, UntrustedCertificate::UnknownIssuer | UntrustedCertificate::NotThePinned);
    QVERIFY(other->certificate.publicKeyPin != shown->certificate.publicKeyPin);
    QCOMPARE(second.messageCount(), 0);
}

void TestTransport::hostileRepliesEndInBoundedTime_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("texts"); // what the outcome says, including why the client gave up
    QTest::addColumn<qint64>("bound");      // bytes the server may get out before the client hangs up
    // What loopback socket buffers can take in while the client reads nothing.
    const qint64 buffers = 32 * 1024 * 1024;
    QTest::newRow("greeting of endless lines")
        << "smtp-greeting-flood" << QStringList{"Cant connect Server", "reply too long"} << buffers;
    QTest::newRow("MAIL reply of endless lines") << "smtp-mail-flood" << QStringList{"reply was too long"} << buffers;
    QTest::newRow("MAIL reply without a line end")
        << "smtp-mail-endless-line" << QStringList{"reply was too long"} << buffers;
    // One byte every 0.3 s: a limit per read would never expire. Each of the
    // three connections the run gives it is cut off at 2 s.
    QTest::newRow("MAIL reply trickling")
        << "smtp-mail-trickle" << QStringList{"did not reply in time"} << qint64(3 * 15);
}

void TestTransport::hostileRepliesEndInBoundedTime()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, texts);
    QFETCH(qint64, bound);
    ScriptedServer server;
    QVERIFY2(server.start(mode), qPrintable(server.error()));
    env.transport.timeoutSeconds = 2;
    Inputs in;
    const SendRunResult r = run(account(server.port()), {QStringLiteral("a@example.jp")}, in);
    const QString outcome = r.outcome == SendRunResult::Outcome::Aborted ? r.text : logLines(env.logPath).value(1);
    for (const QString &text : texts)
        QVERIFY2(outcome.contains(text), qPrintable(outcome.left(300)));
    // The server reports its count as soon as it sees the client hang up
    // (its FIN or a reset), not when the kernel drops an orphaned socket.
    QTRY_VERIFY_WITH_TIMEOUT(server.bytesSent() > 0, 20000);
    QVERIFY2(server.bytesSent() <= bound, qPrintable(QString::number(server.bytesSent())));
}

void TestTransport::eachMessageEndTravelsWithTheNextEnvelope()
{
    ScriptedServer server;
    QVERIFY2(server.start(QStringLiteral("smtp")), qPrintable(server.error()));
    Inputs in;
    QCOMPARE(run(account(server.port()), {"a@x.jp", "b@x.jp", "c@x.jp", "d@x.jp"}, in).accepted, 4);
    // The last message has no next envelope to carry.
    QCOMPARE(server.pipelined(), (QList<bool>{true, true, true, false}));

    // A 421 to the envelope that travelled ahead is that message's answer;
    // the next message goes over a new connection.
    ScriptedServer closing;
    QVERIFY2(closing.start(QStringLiteral("smtp-421-second")), qPrintable(closing.error()));
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.smtpPort = closing.port();
    CurlTransport t(s);
    const MailAddress from = parseMailAddress(QStringLiteral("shop@example.jp"));
    const Envelope a{from, parseMailAddress(QStringLiteral("a@x.jp"))},
        b{from, parseMailAddress(QStringLiteral("b@x.jp"))}, c{from, parseMailAddress(QStringLiteral("c@x.jp"))};
    const QByteArray message = "Subject: x\r\n\r\nx\r\n";
    QCOMPARE(t.send(a, message, &b).text, QString());
    QCOMPARE(t.send(b, message, &c).text, QStringLiteral("421 4.7.0 Too many messages from you, closing"));
    QCOMPARE(t.send(c, message, nullptr).text, QString());
}

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
