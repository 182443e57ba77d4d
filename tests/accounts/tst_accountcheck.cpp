// The checks an account passes before it is saved, without the dialog.

#include "accountcheck.h"
#include "cafile.h"
#include "mailservers.h"
#include "testutil.h"

#include <QtTest>

class TestAccountCheck : public QObject {
    Q_OBJECT
private slots:
    void firstFaultNamesItsFieldAndMessage_data();
    void firstFaultNamesItsFieldAndMessage();
    void certificateFileMustHoldCertificates_data();
    void certificateFileMustHoldCertificates();
};

void TestAccountCheck::firstFaultNamesItsFieldAndMessage_data()
{
    QTest::addColumn<int>("field"); // AccountField typed into; the rest is valid
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("boxes");     // 1 SMTP AUTH, 2 POP before SMTP
    QTest::addColumn<QString>("shown"); // the field after the check
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("apply"); // Apply instead of OK

    using F = AccountField;
    auto row = [](const char *name, F field, const QString &typed, int boxes, const QString &shown, F fault,
                  const char *message, bool apply = false) {
        QTest::newRow(name) << int(field) << typed << boxes << shown << int(fault) << QString::fromUtf8(message)
                            << apply;
    };
    row("placeholder server", F::Server, "****.example.ne.jp", 1, "", F::Server,
        "送信メールサーバー（SMTP）が設定されていません。");
    row("blanks as server", F::Server, "   ", 1, "   ", F::Server, "送信メールサーバー（SMTP）が設定されていません。");
    row("placeholder name", F::FromName, "Myname Taro", 1, "", F::FromName, "送信者名が設定されていません。");
    row("lower-case name", F::FromName, "myname Taro", 1, "myname Taro", F::None, "");
    row("placeholder address", F::From, "myname@example.ne.jp", 1, "", F::From,
        "送信元　メールアドレスが設定されていません。");
    row("wide address, no at", F::From, "ＴＡＲＯ．ＥＸＡＭＰＬＥ", 1, "taro.example", F::From,
        "送信元　メールアドレスが不正です。");
    row("wide address", F::From, "ｔａｒｏ＠example.jp", 1, "taro@example.jp", F::None, "");
    row("placeholder account, POP", F::User, "mynameX", 2, "", F::User, "アカウントが設定されていません。");
    row("no account, no login", F::User, "", 0, "", F::None, "");
    row("no password", F::Password, "", 3, "", F::Password, "パスワードが設定されていません。");
    row("no port, OK", F::Port, "", 1, "", F::Port, "送信メールサーバー（SMTP）ポート番号が設定されていません。");
    row("no port, Apply", F::Port, "", 1, "", F::Port, "（SMTP）ポート番号が設定されていません。", true);
    row("blanks as port", F::Port, "   ", 1, "   ", F::Port,
        "送信メールサーバー（SMTP）ポート番号が設定されていません。");
    const char *portRange = "ポート番号は 1 から 65535 までの数字で入力してください。";
    row("letters as port", F::Port, "smtp", 1, "smtp", F::Port, portRange);
    row("port 0", F::Port, "0", 1, "0", F::Port, portRange);
    row("port 65536", F::Port, "65536", 1, "65536", F::Port, portRange);
    row("port with a sign", F::Port, "+587", 1, "+587", F::Port, portRange);
    row("port 65535", F::Port, "65535", 1, "65535", F::None, "");
    row("port with blanks around", F::Port, " 587 ", 1, "587", F::None, "");
    row("full-width port", F::Port, "５８７", 1, "587", F::None, "");
    const char *pop3Range = "POP3 のポート番号は 1 から 65535 までの数字で入力してください。";
    row("POP3 port of letters", F::Pop3Port, "pop", 2, "pop", F::Pop3Port, pop3Range);
    row("POP3 port 0", F::Pop3Port, "0", 2, "0", F::Pop3Port, pop3Range);
    row("no POP3 port", F::Pop3Port, "", 2, "110", F::None, "");
    row("full-width POP3 port", F::Pop3Port, "９９５", 2, "995", F::None, "");
    row("no certificate file", F::CaFile, " ", 1, "", F::None, "");
    row("certificate file missing", F::CaFile, "/no/such/ca.pem", 1, "/no/such/ca.pem", F::CaFile,
        "証明書ファイル（/no/such/ca.pem）を読み込めません。");
}

void TestAccountCheck::firstFaultNamesItsFieldAndMessage()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(int, boxes);
    QFETCH(QString, shown);
    QFETCH(int, fault);
    QFETCH(QString, message);
    QFETCH(bool, apply);

    AccountEntry e{QStringLiteral("smtp.example.jp"),
                   QStringLiteral("587"),
                   false,
                   false,
                   QStringLiteral("taro"),
                   QStringLiteral("pw"),
                   false,
                   0,
                   QStringLiteral("山田太郎"),
                   QStringLiteral("taro@example.jp"),
                   QString(),
                   QString()};
    // In AccountField's order.
    QString *const fields[] = {nullptr,     &e.server, &e.fromName, &e.from,  &e.user,
                               &e.password, &e.port,   &e.pop3Port, &e.caFile};
    *fields[field] = typed;
    e.smtpAuth = boxes & 1;
    e.popBeforeSmtp = boxes & 2;
    const AccountFault got = checkAccountEntry(e, apply ? AccountSaveButton::Apply : AccountSaveButton::Ok);
    QCOMPARE(int(got.field), fault);
    QCOMPARE(got.message, message);
    // Placeholders go and the address is narrowed even when refused; a
    // port that passes becomes its plain number.
    QCOMPARE(*fields[field], shown);
}

void TestAccountCheck::certificateFileMustHoldCertificates_data()
{
    QTest::addColumn<QStringList>("parts"); // what the file holds, in order
    QTest::addColumn<QString>("problem");   // a piece of the message; "" when the file is taken
    QTest::newRow("a certificate") << QStringList{"cert"} << "";
    QTest::newRow("a key, then its certificate") << QStringList{"key", "cert"} << "";
    QTest::newRow("a private key alone") << QStringList{"key"} << "証明書がなく、秘密鍵が入っています。";
    QTest::newRow("no PEM at all") << QStringList{"text"} << "PEM 形式の証明書がありません。";
    QTest::newRow("nothing") << QStringList{} << "PEM 形式の証明書がありません。";
}

void TestAccountCheck::certificateFileMustHoldCertificates()
{
    QFETCH(QStringList, parts);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QVERIFY(makeTestCertificate(dir.path()));
    QByteArray bytes;
    for (const QString &part : parts)
        bytes += part == QLatin1String("cert")  ? readBytes(dir.filePath(QStringLiteral("cert.pem")))
                 : part == QLatin1String("key") ? readBytes(dir.filePath(QStringLiteral("key.pem")))
                                                : QByteArray("server.example.jp:587\n");
    const QString file = dir.filePath(QStringLiteral("trust.pem"));
    writeBytes(file, bytes);
    const QString got = caFileProblem(file);
    QVERIFY2(problem.isEmpty() ? got.isEmpty() : got.contains(problem) && got.contains(file), qPrintable(got));

    // The account dialog says the same and stops there.
    AccountEntry e{QStringLiteral("smtp.example.jp"),
                   QStringLiteral("587"),
                   false,
                   false,
                   QString(),
                   QString(),
                   false,
                   0,
                   QStringLiteral("山田太郎"),
                   QStringLiteral("taro@example.jp"),
                   QString(),
                   QString()};
    e.caFile = file;
    const AccountFault fault = checkAccountEntry(e, AccountSaveButton::Ok);
    QCOMPARE(fault.message, got);
    QCOMPARE(fault.field, problem.isEmpty() ? AccountField::None : AccountField::CaFile);
}

QTEST_GUILESS_MAIN(TestAccountCheck)
#include "tst_accountcheck.moc"
