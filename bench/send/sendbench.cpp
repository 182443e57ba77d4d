// sendbench HOST PORT COUNT: one send run of COUNT personalised messages
// (Japanese subject, about 1 KB of Japanese body, a name block each) through
// the mail client to HOST:PORT. Prints "sent=N seconds=S rate=R".

#include "account.h"
#include "bsmtp.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

struct Source : SendRunSource {
    QString body;
    QString subject() override { return QStringLiteral("【ご案内】春の新商品と営業日のお知らせ"); }
    QString bodyText() override { return body; }
    QString attachmentText() override { return {}; }
    int nameOption() override { return 1; }
    int honorificOption() override { return 0; }
    void setProgressMaximum(qsizetype) override {}
    void setProgress(qsizetype) override {}
};

QString japaneseBody()
{
    const QString para = QStringLiteral(
        "平素は格別のご高配を賜り、厚く御礼申し上げます。このたび弊社では春の新商品を発売いたしました。"
        "詳細につきましては同封の資料をご覧ください。ご不明な点がございましたらお気軽にお問い合わせください。\r\n");
    QString body;
    while (body.toUtf8().size() < 1000)
        body += para;
    return body + QStringLiteral("今後ともよろしくお願い申し上げます。\r\n山田商店　営業部");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: sendbench HOST PORT COUNT\n");
        return 2;
    }
    const int count = QByteArray(argv[3]).toInt();
    AccountRecord account;
    account.szServer = QString::fromLocal8Bit(argv[1]);
    account.szFrom = QStringLiteral("shop@example.jp");
    account.szFromName = QStringLiteral("山田商店");
    bsmtpOptions().defaultSmtpPort = QByteArray(argv[2]).toInt();

    SendList list;
    list.beginBatch();
    for (int i = 0; i < count; ++i)
        list.append(QStringLiteral("株式会社サンプル%1").arg(i), QStringLiteral("営業部　山本太郎"),
                    QStringLiteral("customer%1@example.jp").arg(i));
    list.endBatch();

    Source source;
    source.body = japaneseBody();
    QTemporaryDir dir;
    SendRunEnvironment env;
    env.logPath = SentMailLog::pathIn(dir.path());
    env.now = [] { return QDateTime::currentDateTime(); };

    QElapsedTimer t;
    t.start();
    const SendRunResult r = runSend(account, list, source, env);
    const double secs = t.nsecsElapsed() / 1e9;
    if (r.outcome != SendRunResult::Outcome::Completed) {
        std::fprintf(stderr, "run did not complete: %s\n", qPrintable(r.text));
        return 1;
    }
    std::printf("sent=%d seconds=%.3f rate=%.1f\n", r.accepted, secs, r.accepted / secs);
    return r.accepted == count ? 0 : 1;
}
