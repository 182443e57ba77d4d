#pragma once
// What tests of the send run share: the window's values without a window,
// a fixed clock, a loopback account and the log's lines.

#include "account.h"
#include "sendrun.h"
#include "testutil.h"
#include "textcodec.h"

#include <QDateTime>
#include <QStringList>
#include <functional>

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
    qsizetype stopAfter = -1; // the user stops once this many messages started
    QList<qint64> pauses;     // the waits the run asked for

    QString subject() override { return subjectText; }
    QString bodyText() override { return body; }
    QString attachmentText() override { return attachments; }
    bool nameBlockOn() override { return check1 == 1; }
    bool honorificOn() override { return check2 != 1; }
    void setProgressMaximum(qsizetype m) override { maximum = m; }
    void setProgress(qsizetype v) override
    {
        progress << v;
        if (onProgress)
            onProgress(v);
    }
    bool stopRequested() override { return stopAfter >= 0 && progress.size() >= stopAfter; }
    bool pause(qint64 ms, const QString &what) override
    {
        pauses << ms;
        return SendRunSource::pause(ms, what);
    }
};

inline const QDateTime kClock(QDate(2005, 4, 1), QTime(9, 5, 7));

inline AccountRecord account(int smtpPort, bool auth = false, const QString &password = QStringLiteral("secret"))
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

// The lines of SendMail.Log, read strictly as code page 932.
inline QStringList logLines(const QString &path)
{
    const auto text = decodeCp932(readBytes(path));
    if (!text)
        return {QStringLiteral("<not CP932>")};
    QStringList lines = text->split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
