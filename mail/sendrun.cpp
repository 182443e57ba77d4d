#include "sendrun.h"

#include "account.h"
#include "bsmtp.h"
#include "sendlist.h"
#include "sentmaillog.h"
#include "textcodec.h"

#include <QVariant>

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// Closes the kept SMTP connection whichever way the run ends.
struct SessionEnd {
    ~SessionEnd() { bsmtpEndSession(); }
};
}

QString honorificText(int noHonorific)
{
    return noHonorific == 0 ? QStringLiteral("　様") : QString();
}

QString serverArgument(const AccountRecord &account)
{
    if (account.Check1V == 1)
        return account.szServer + QLatin1Char('\t') + account.szPort + QStringLiteral(":60");
    return account.szServer;
}

QString senderArgument(const AccountRecord &account)
{
    QString s = account.szFromName + QLatin1Char('<') + account.szFrom + QLatin1Char('>');
    if (account.Check1V == 1)
        s += QLatin1Char('\t') + account.User + QLatin1Char(':') + account.UserPass;
    return s;
}

QString recipientArgument(const QString &address)
{
    return QLatin1Char('<') + address + QLatin1Char('>');
}

QString nameBlock(int nameOption, const QString &name1, const QString &name2,
                  const QString &honorific)
{
    if (nameOption != 1)
        return {};
    if (!name2.isEmpty())
        return name1 + kCrLf + name2 + honorific + kCrLf;
    return name1 + honorific + kCrLf;
}

QString bodyArgument(const QString &block, const QString &bodyText)
{
    return block + bodyText + kCrLf;
}

SendCheck checkSendRun(const AccountRecord &account, qsizetype listCount,
                       const QString &subject, const QString &bodyText)
{
    if (account.szServer.left(4) == QStringLiteral("****") || account.szFrom.isEmpty()
        || account.szServer.isEmpty())
        return SendCheck::Account;
    if (listCount == 0)
        return SendCheck::EmptyList;
    if (subject.isEmpty())
        return SendCheck::EmptySubject;
    if (bodyText.isEmpty())
        return SendCheck::EmptyBody;
    return SendCheck::Ok;
}

SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env)
{
    using Outcome = SendRunResult::Outcome;
    SendRunResult result;
    const QString honorific = honorificText(source.honorificOption());

    if (account.Check2V == 1) {
        QByteArray server = encodeCp932(account.szServer);
        QByteArray user = encodeCp932(account.User);
        QByteArray pass = encodeCp932(account.UserPass);
        QByteArray command("STAT");
        const QVariant r = RcvMail(server, user, pass, command, nullptr);
        if (r.typeId() != QMetaType::QVariantList) {
            result.outcome = Outcome::PopLoginFailed;
            result.text = r.toString();
            return result;
        }
    }

    // Converted once; whatever the client leaves in them is what the
    // following entries get.
    QByteArray server = encodeCp932(serverArgument(account));
    QByteArray sender = encodeCp932(senderArgument(account));
    const QString subjectText = source.subject();
    QByteArray subject = encodeCp932(subjectText);
    QByteArray attachments = encodeCp932(source.attachmentText());

    SentMailLog log;
    if (!log.open(env.logPath, account.szFromName, account.szFrom, account.szServer, subjectText,
                  env.now())) {
        result.text = log.errorString();
        return result;
    }

    const qsizetype count = list.count();
    source.setProgressMaximum(count);
    SessionEnd sessionEnd;
    for (qsizetype i = 0; i < count; ++i) {
        source.setProgress(i + 1);
        const SendList::Entry e = list.entry(i);
        QByteArray recipient = encodeCp932(recipientArgument(e.address));
        QByteArray body = encodeCp932(
            bodyArgument(nameBlock(source.nameOption(), e.name1, e.name2, honorific), source.bodyText()));
        const QByteArray reply = SendMail(server, recipient, sender, subject, body, attachments);
        const QDateTime when = env.now();
        if (reply.isEmpty()) {
            if (!log.writeSuccess(e.name1, e.name2, e.address, when)) {
                result.text = log.errorString();
                return result;
            }
            ++result.accepted;
            continue;
        }
        const QString text = decodeCp932(reply).value_or(QString::fromLatin1(reply));
        if (text.contains(QStringLiteral("Cant connect Server")) || text.contains(QStringLiteral("AUTH LOGIN"))) {
            log.close();
            result.outcome = Outcome::Aborted;
            result.text = text;
            return result;
        }
        if (!log.writeError(e.name1, e.name2, e.address, text, when)) {
            result.text = log.errorString();
            return result;
        }
    }
    list.clear();
    log.close();
    result.outcome = Outcome::Completed;
    return result;
}
