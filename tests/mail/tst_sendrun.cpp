#include "account.h"
#include "bsmtp.h"
#include "mailservers.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "testutil.h"
#include "textcodec.h"

#include <QtTest>
#include <functional>

namespace {

// The window's values for a run without a window.
struct Inputs : SendRunSource {
    QString subjectText = QStringLiteral("春のご案内【第1号】");
    QString body = QStringLiteral("いつもお世話になっております。\r\n新商品のご案内です。");
    QString attachments;
    int check1 = 1;
    int check2 = 0;
    qsizetype maximum = -1;
    QList<qsizetype> progress;
    std::function<void(qsizetype)> onProgress;

    QString subject() override { return subjectText; }
    QString bodyText() override { return body; }
    QString attachmentText() override { return attachments; }
    int nameOption() override { return check1; }
    int honorificOption() override { return check2; }
    void setProgressMaximum(qsizetype m) override { maximum = m; }
    void setProgress(qsizetype v) override
    {
        progress << v;
        if (onProgress)
            onProgress(v);
    }
};

const QDateTime kClock(QDate(2005, 4, 1), QTime(9, 5, 7));

AccountRecord account(int smtpPort, bool auth, const QString &password = QStringLiteral("secret"))
{
    AccountRecord a;
    a.szServer = QStringLiteral("127.0.0.1");
    a.szPort = QString::number(smtpPort);
    a.szFromName = QStringLiteral("山田商店");
    a.szFrom = QStringLiteral("shop@example.jp");
    a.User = QStringLiteral("shop");
    a.UserPass = password;
    a.Check1V = auth ? 1 : 0;
    return a;
}

void fillThree(SendList &list)
{
    list.append(QStringLiteral("株式会社ミナト"), QStringLiteral("営業部　佐藤花子"), QStringLiteral("sato@example.jp"));
    list.append(QStringLiteral("鈴木一郎"), QString(), QStringLiteral("suzuki@example.jp"));
    list.append(QStringLiteral("ﾀﾅｶ ｼｮｳｼﾞ"), QString(), QStringLiteral("tanaka@example.jp"));
}

QStringList logLines(const QString &path)
{
    const auto text = decodeCp932(readBytes(path));
    if (!text)
        return {QStringLiteral("<not CP932>")};
    QStringList lines = text->split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestSendRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { bsmtpEndSession(); bsmtpOptions() = BsmtpOptions(); }
    void threeEntriesArriveIntactOverOneConnection();
    void unreachableServerAbortsAndKeepsTheList();
    void wrongPasswordAbortsAndKeepsTheList();
    void lostServerMidRunKeepsTheRecordsSoFar();
    void refusedRecipientIsLoggedWithTheMend();
    void injectionAttemptsAreRefused();
    void popBeforeSmtp();
    void startTlsVerifiesTheCertificate();
    void listsLongerThanSixteenBitsAreSentWhole();
    void unwritableLogFails();

private:
    std::unique_ptr<TestWorld> w;
    SendRunEnvironment env;
};

void TestSendRun::init()
{
    w = std::make_unique<TestWorld>();
    env.logPath = SentMailLog::pathIn(w->dir.path());
    env.now = [] { return kClock; };
}

void TestSendRun::threeEntriesArriveIntactOverOneConnection()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    const QString pdf = w->path(QStringLiteral("価格表 2026.pdf"));
    QByteArray binary;
    for (int i = 0; i < 5000; ++i)
        binary.append(static_cast<char>((i * 37) & 0xff));
    writeBytes(pdf, binary);
    const QString txt = w->path(QStringLiteral("notes.txt"));
    writeBytes(txt, sjis(QStringLiteral("添付の説明\r\n")));

    fillThree(w->sendList);
    Inputs in;
    in.attachments = pdf + QLatin1Char('\t') + txt;
    const SendRunResult r = runSend(account(smtp.port(), true), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(w->sendList.count(), 0);
    QCOMPARE(in.maximum, 3);
    QCOMPARE(in.progress, (QList<qsizetype>{1, 2, 3}));

    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 3);
    const QStringList blocks = {QStringLiteral("株式会社ミナト\r\n営業部　佐藤花子　様\r\n"),
                                QStringLiteral("鈴木一郎　様\r\n"), QStringLiteral("ﾀﾅｶ ｼｮｳｼﾞ　様\r\n")};
    const QStringList to = {QStringLiteral("sato@example.jp"), QStringLiteral("suzuki@example.jp"),
                            QStringLiteral("tanaka@example.jp")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(got[i].envelopeFrom, QStringLiteral("shop@example.jp"));
        QCOMPARE(got[i].envelopeTo, QStringList{to[i]});
        QCOMPARE(got[i].to, to[i]);
        QCOMPARE(got[i].from, QStringLiteral("山田商店 <shop@example.jp>"));
        QCOMPARE(got[i].subject, in.subjectText);
        QCOMPARE(got[i].text, blocks[i] + QStringLiteral("いつもお世話になっております。\r\n新商品のご案内です。\r\n"));
        QCOMPARE(got[i].attachments.size(), 2);
        QCOMPARE(got[i].attachments[0].fileName, QStringLiteral("価格表 2026.pdf"));
        QCOMPARE(got[i].attachments[0].bytes, binary);
        QCOMPARE(got[i].attachments[1].fileName, QStringLiteral("notes.txt"));
        QCOMPARE(got[i].attachments[1].bytes, sjis(QStringLiteral("添付の説明\r\n")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("Date")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("Message-ID")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("MIME-Version")));
    }
    QCOMPARE(smtp.connectionCount(), 1);

    const QByteArray expected = sjis(QStringLiteral(
        "山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07\r\n"
        "株式会社ミナト,営業部　佐藤花子,sato@example.jp,送信済,2005/04/01 9:05:07\r\n"
        "鈴木一郎,,suzuki@example.jp,送信済,2005/04/01 9:05:07\r\n"
        "ﾀﾅｶ ｼｮｳｼﾞ,,tanaka@example.jp,送信済,2005/04/01 9:05:07\r\n"));
    QCOMPARE(readBytes(env.logPath), expected);

    // A second run replaces the log; no honorific, no name block.
    w->sendList.append(QStringLiteral("高橋"), QString(), QStringLiteral("takahashi@example.jp"));
    Inputs plain;
    plain.check1 = 0;
    env.now = [] { return QDateTime(QDate(2005, 4, 2), QTime(10, 0, 0)); };
    QCOMPARE(runSend(account(smtp.port(), true), w->sendList, plain, env).accepted, 1);
    QCOMPARE(smtp.messages().last().text, QStringLiteral("いつもお世話になっております。\r\n新商品のご案内です。\r\n"));
    QCOMPARE(smtp.messages().last().attachments.size(), 0);
    QCOMPARE(logLines(env.logPath).size(), 2);
    QCOMPARE(logLines(env.logPath).at(1), QStringLiteral("高橋,,takahashi@example.jp,送信済,2005/04/02 10:00:00"));
}

void TestSendRun::unreachableServerAbortsAndKeepsTheList()
{
    fillThree(w->sendList);
    Inputs in;
    // Without AUTH the port comes from the client's default; give one that is closed.
    bsmtpOptions().defaultSmtpPort = unusedLoopbackPort();
    const SendRunResult r2 = runSend(account(0, false), w->sendList, in, env);
    QCOMPARE(r2.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r2.text.contains(QStringLiteral("Cant connect Server")), qPrintable(r2.text));
    QCOMPARE(r2.accepted, 0);
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(logLines(env.logPath),
             QStringList{QStringLiteral("山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07")});

    // With AUTH the port travels in the server argument.
    const SendRunResult r3 = runSend(account(unusedLoopbackPort(), true), w->sendList, in, env);
    QCOMPARE(r3.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY(r3.text.contains(QStringLiteral("Cant connect Server")));
    QCOMPARE(w->sendList.count(), 3);
}

void TestSendRun::wrongPasswordAbortsAndKeepsTheList()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    fillThree(w->sendList);
    Inputs in;
    const SendRunResult r = runSend(account(smtp.port(), true, QStringLiteral("wrong")), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("AUTH LOGIN")), qPrintable(r.text));
    QVERIFY2(r.text.contains(QStringLiteral("535")), qPrintable(r.text));
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(logLines(env.logPath).size(), 1);
    QCOMPARE(smtp.messages().size(), 0);
}

void TestSendRun::lostServerMidRunKeepsTheRecordsSoFar()
{
    auto smtp = std::make_unique<SmtpTestServer>();
    QVERIFY2(smtp->start(), qPrintable(smtp->error()));
    bsmtpOptions().defaultSmtpPort = smtp->port();
    for (int i = 0; i < 5; ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
    Inputs in;
    // The server goes away before the third message.
    in.onProgress = [&](qsizetype v) { if (v == 3) smtp->stop(); };
    const SendRunResult r = runSend(account(0, false), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("Cant connect Server")), qPrintable(r.text));
    QCOMPARE(r.accepted, 2);
    QCOMPARE(w->sendList.count(), 5);
    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], QStringLiteral("宛先0,,r0@example.jp,送信済,2005/04/01 9:05:07"));
    QCOMPARE(lines[2], QStringLiteral("宛先1,,r1@example.jp,送信済,2005/04/01 9:05:07"));
}

void TestSendRun::refusedRecipientIsLoggedWithTheMend()
{
    // With the commands sent one by one and with PIPELINING.
    for (const bool pipelining : {false, true}) {
        SmtpTestServer smtp;
        smtp.setPipelining(pipelining);
        smtp.refuseRecipient(QStringLiteral("nobody@example.jp"),
                             QStringLiteral("550 5.1.1 <nobody@example.jp>: unknown user,no mailbox,try later,thanks,bye"));
        QVERIFY2(smtp.start(), qPrintable(smtp.error()));
        bsmtpOptions().defaultSmtpPort = smtp.port();
        w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("one@example.jp"));
        w->sendList.append(QStringLiteral("二"), QString(), QStringLiteral("nobody@example.jp"));
        w->sendList.append(QStringLiteral("三"), QString(), QStringLiteral("three@example.jp"));
        Inputs in;
        const SendRunResult r = runSend(account(0, false), w->sendList, in, env);
        QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
        QCOMPARE(r.accepted, 2);
        QCOMPARE(w->sendList.count(), 0);
        const QStringList lines = logLines(env.logPath);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[2], QStringLiteral("二,,nobody@example.jp,送信エラー550 5.1.1 <nobody@example.jp>: "
                                          "unknown user no mailbox try later thanks,bye,2005/04/01 9:05:07"));
        QCOMPARE(lines[2].split(QLatin1Char(',')).size(), 6);
        const QList<ReceivedMail> got = smtp.messages();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[1].envelopeTo, QStringList{QStringLiteral("three@example.jp")});
        // The refusal did not cost the connection.
        QCOMPARE(smtp.connectionCount(), 1);
    }
}

void TestSendRun::injectionAttemptsAreRefused()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    bsmtpOptions().defaultSmtpPort = smtp.port();
    // A file whose very name tries to add a header.
    const QString trap = w->path(QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    writeBytes(trap, QByteArray("data"));
    w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("a@example.jp>\r\nRCPT TO:<evil@example.net"));
    w->sendList.append(QStringLiteral("二"), QString(), QStringLiteral("b@example.jp\nDATA"));
    w->sendList.append(QStringLiteral("三"), QString(), QStringLiteral("<c@example.jp>"));
    w->sendList.append(QStringLiteral("四"), QString(), QStringLiteral("ok@example.jp"));
    Inputs in;
    in.subjectText = QStringLiteral("件名\r\nBcc: evil@example.net");
    in.attachments = trap;
    AccountRecord a = account(0, false);
    a.szFromName = QStringLiteral("店 \"Reply-To: evil@example.net\"");
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 1);
    const QStringList lines = logLines(env.logPath);
    // The header record keeps the subject as typed; that line break is the
    // user's own and splits the log line, so look at the records by address.
    QVERIFY(lines.filter(QStringLiteral(",送信エラーInvalid recipient address")).size() == 3);
    QVERIFY(lines.last().startsWith(QStringLiteral("四,,ok@example.jp,送信済,")));

    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].envelopeTo, QStringList{QStringLiteral("ok@example.jp")});
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Bcc"), Qt::CaseInsensitive));
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Reply-To"), Qt::CaseInsensitive));
    QCOMPARE(got[0].subject, QStringLiteral("件名  Bcc: evil@example.net"));
    QCOMPARE(got[0].attachments.size(), 1);
    QCOMPARE(got[0].attachments[0].fileName, QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    QVERIFY(!got[0].raw.contains("\nBcc:"));

    QCOMPARE(got[0].from, QStringLiteral("\"店 \\\"Reply-To: evil@example.net\\\"\" <shop@example.jp>"));

    // A sender address or name with a line break or bracket is refused for
    // every entry.
    in.subjectText = QStringLiteral("件名");
    in.attachments.clear();
    const QStringList badFrom = {QStringLiteral("shop@example.jp>\r\nRCPT TO:<evil@example.net"),
                                 QStringLiteral("shop@example.jp\r\nDATA")};
    const QStringList badName = {QStringLiteral("店\r\nReply-To: evil@example.net"), QStringLiteral("店<x>")};
    for (int i = 0; i < 4; ++i) {
        w->sendList.append(QStringLiteral("五"), QString(), QStringLiteral("five@example.jp"));
        a = account(0, false);
        if (i < 2)
            a.szFrom = badFrom[i];
        else
            a.szFromName = badName[i - 2];
        const SendRunResult r2 = runSend(a, w->sendList, in, env);
        QCOMPARE(r2.accepted, 0);
        QVERIFY(logLines(env.logPath).last().contains(QStringLiteral("送信エラーInvalid sender address")));
        QCOMPARE(smtp.messages().size(), 1);
    }
}

void TestSendRun::popBeforeSmtp()
{
    // Dovecot holds back the attempt that follows a failed login by a few
    // seconds, so each server here sees at most one failure, and last.
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    bsmtpOptions().pop3Port = pop.port();

    // The client on its own: an array on success, a text otherwise.
    QByteArray host("127.0.0.1"), user("shop"), pass("secret"), stat("STAT");
    const QVariant ok = RcvMail(host, user, pass, stat, nullptr);
    QCOMPARE(ok.typeId(), QMetaType::QVariantList);
    QCOMPARE(ok.toList().size(), 2);
    QCOMPARE(ok.toList().at(0).toLongLong(), 0);
    QByteArray closed = "127.0.0.1\t" + QByteArray::number(unusedLoopbackPort());
    QVERIFY(RcvMail(closed, user, pass, stat, nullptr).toString().contains(QStringLiteral("Cant connect Server")));
    QByteArray bad("wrong");
    const QVariant no = RcvMail(host, user, bad, stat, nullptr);
    QCOMPARE(no.typeId(), QMetaType::QString);
    QVERIFY2(no.toString().contains(QStringLiteral("-ERR")), qPrintable(no.toString()));

    Pop3TestServer pop2;
    QVERIFY2(pop2.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop2.error()));
    bsmtpOptions().pop3Port = pop2.port();
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    bsmtpOptions().defaultSmtpPort = smtp.port();

    // Right password: the run goes on to send.
    AccountRecord a = account(0, false);
    a.Check2V = 1;
    fillThree(w->sendList);
    Inputs in;
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(smtp.messages().size(), 3);
    const QByteArray previous = readBytes(env.logPath);
    QCOMPARE(previous.count("\r\n"), 4);

    // Wrong POP password: nothing sent, the previous log untouched.
    a.UserPass = QStringLiteral("wrong");
    fillThree(w->sendList);
    Inputs in2;
    const SendRunResult r2 = runSend(a, w->sendList, in2, env);
    QCOMPARE(r2.outcome, SendRunResult::Outcome::PopLoginFailed);
    QVERIFY(r2.text.contains(QStringLiteral("-ERR")));
    QCOMPARE(readBytes(env.logPath), previous);
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(smtp.messages().size(), 3);
    QVERIFY(in2.progress.isEmpty());
}

void TestSendRun::startTlsVerifiesTheCertificate()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::StartTls, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    fillThree(w->sendList);
    Inputs in;
    // The throw-away certificate is not trusted: the server can't be used.
    const SendRunResult r = runSend(account(smtp.port(), true), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("Cant connect Server")), qPrintable(r.text));
    QCOMPARE(smtp.messages().size(), 0);

    bsmtpOptions().caBundle = smtp.caFile();
    const SendRunResult r2 = runSend(account(smtp.port(), true), w->sendList, in, env);
    QVERIFY2(r2.outcome == SendRunResult::Outcome::Completed, qPrintable(r2.text));
    QCOMPARE(r2.accepted, 3);
    QCOMPARE(smtp.messages().size(), 3);
    QCOMPARE(smtp.messages().at(1).subject, in.subjectText);
}

void TestSendRun::listsLongerThanSixteenBitsAreSentWhole()
{
    // Addresses the client refuses before any network use, so the whole
    // list is worked through quickly.
    const int n = 40000;
    w->sendList.beginBatch();
    for (int i = 0; i < n; ++i)
        w->sendList.append(QStringLiteral("名%1").arg(i), QString(), QStringLiteral("bad>%1@example.jp").arg(i));
    w->sendList.endBatch();
    bsmtpOptions().defaultSmtpPort = unusedLoopbackPort();
    Inputs in;
    const SendRunResult r = runSend(account(0, false), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(in.maximum, n);
    QCOMPARE(in.progress.size(), n);
    QCOMPARE(in.progress.last(), n);
    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), n + 1);
    QVERIFY(lines.last().startsWith(QStringLiteral("名39999,,bad>39999@example.jp,送信エラー")));
    QCOMPARE(w->sendList.count(), 0);
}

void TestSendRun::unwritableLogFails()
{
    fillThree(w->sendList);
    Inputs in;
    env.logPath = w->path(QStringLiteral("missing-folder/SendMail.Log"));
    const SendRunResult r = runSend(account(unusedLoopbackPort(), true), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Failed);
    QCOMPARE(w->sendList.count(), 3);
    QVERIFY(in.progress.isEmpty());
}

QTEST_GUILESS_MAIN(TestSendRun)
#include "tst_sendrun.moc"
