// The checks an account passes before it is saved, without the dialog.

#include "accountcheck.h"

#include <QtTest>

class TestAccountCheck : public QObject {
    Q_OBJECT
private slots:
    void firstFaultNamesItsFieldAndMessage_data();
    void firstFaultNamesItsFieldAndMessage();
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
    QString *const fields[] = {nullptr, &e.server, &e.fromName, &e.from, &e.user, &e.password, &e.port};
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

QTEST_GUILESS_MAIN(TestAccountCheck)
#include "tst_accountcheck.moc"
