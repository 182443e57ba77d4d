#include "sendrun.h"

#include "account.h"
#include "curltransport.h"
#include "outgoing.h"
#include "preflight.h"
#include "sendlist.h"
#include "sentmaillog.h"

#include <QVariant>

namespace {

// Says goodbye to the server whichever way the run ends.
struct SessionEnd {
    MailTransport &transport;
    ~SessionEnd() { transport.end(); }
};

bool stopsTheRun(const QString &reply)
{
    return reply.contains(QStringLiteral("Cant connect Server")) || reply.contains(QStringLiteral("AUTH LOGIN"));
}
}

TransportSettings transportSettings(const AccountRecord &account, const TransportOptions &options)
{
    TransportSettings s;
    s.host = account.szServer.trimmed();
    const QString port = account.szPort.trimmed();
    bool ok = false;
    const int n = port.toInt(&ok);
    s.smtpPort = port.isEmpty() ? 25 : ok && n > 0 && n < 65536 ? n : 0;
    s.smtpImplicitTls = s.smtpPort == 465;
    s.pop3Port = options.pop3Port;
    s.pop3ImplicitTls = options.pop3Port == 995;
    s.smtpAuth = account.Check1V == 1;
    s.user = account.User;
    s.password = account.UserPass;
    s.allowCleartextPassword = account.Check3V == 1;
    s.timeoutSeconds = options.timeoutSeconds;
    s.extraCaFile = options.extraCaFile;
    return s;
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

QString sendCheckMessage(SendCheck check)
{
    switch (check) {
    case SendCheck::Account: return QStringLiteral("メールサーバー情報に誤りがあります。");
    case SendCheck::EmptyList: return QStringLiteral("送信する宛先が入力されていません。");
    case SendCheck::EmptySubject: return QStringLiteral("件名が入力されていません。");
    case SendCheck::EmptyBody: return QStringLiteral("本文が力されていません。");
    case SendCheck::Ok: break;
    }
    return {};
}

QString sendOutcomeMessage(const SendRunResult &result)
{
    using Outcome = SendRunResult::Outcome;
    switch (result.outcome) {
    case Outcome::Completed:
        return QString::number(result.accepted) + QStringLiteral("件の送信を完了しました。");
    case Outcome::PreflightFailed:
        return result.text;
    case Outcome::PopLoginFailed:
        return QStringLiteral("POP Before SMTP 認証エラー ") + result.text;
    case Outcome::Aborted:
        return QStringLiteral("メールサーバーに接続できません。") + result.text;
    case Outcome::Failed:
        break;
    }
    return QStringLiteral("送信処理中にエラーが発生しました。サーバー情報を確認してください。");
}

OutgoingContent outgoingContent(const AccountRecord &account, SendRunSource &source)
{
    OutgoingContent content;
    content.fromName = account.szFromName;
    content.fromAddress = account.szFrom;
    content.subject = source.subject();
    content.bodyText = source.bodyText();
    content.attachmentText = source.attachmentText();
    content.nameOption = source.nameOption();
    content.honorific = honorificText(source.honorificOption());
    return content;
}

namespace {

std::unique_ptr<MailTransport> makeTransport(const AccountRecord &account, const SendRunEnvironment &env)
{
    const TransportSettings settings = transportSettings(account, env.transport);
    return env.makeTransport ? env.makeTransport(settings) : std::make_unique<CurlTransport>(settings);
}

} // namespace

QString sendTestMessage(const AccountRecord &account, OutgoingContent content, const SendList::Entry &entry,
                        const SendRunEnvironment &env)
{
    const QString problem = preflightMessage(content.fromAddress, content.attachmentText, SendList());
    if (!problem.isEmpty())
        return problem;
    content.subject = QStringLiteral("[テスト] ") + content.subject;
    const std::unique_ptr<MailTransport> transport = makeTransport(account, env);
    SessionEnd sessionEnd{*transport};
    if (account.Check2V == 1) {
        const QVariant r = transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList)
            return QStringLiteral("POP Before SMTP 認証エラー ") + r.toString();
    }
    OutgoingMessages messages(content);
    const OutgoingMessage m = messages.messageFor({entry.name1, entry.name2, account.szFrom}, env.now());
    return m.error.isEmpty() ? transport->send(m.envelope, m.data, nullptr) : m.error;
}

SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env)
{
    using Outcome = SendRunResult::Outcome;
    SendRunResult result;
    const OutgoingContent content = outgoingContent(account, source);
    result.text = preflightMessage(content.fromAddress, content.attachmentText, list);
    if (!result.text.isEmpty()) {
        result.outcome = Outcome::PreflightFailed;
        return result;
    }

    const std::unique_ptr<MailTransport> transport = makeTransport(account, env);
    SessionEnd sessionEnd{*transport};
    if (account.Check2V == 1) {
        const QVariant r = transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList) {
            result.outcome = Outcome::PopLoginFailed;
            result.text = r.toString();
            return result;
        }
    }

    OutgoingMessages messages(content);
    // A dry run keeps no log.
    SentMailLog log;
    const bool logged = !env.logPath.isEmpty();
    if (logged && !log.open(env.logPath, account.szFromName, account.szFrom, account.szServer, content.subject,
                            env.now())) {
        result.text = log.errorString();
        return result;
    }

    const qsizetype count = list.count();
    source.setProgressMaximum(count);
    // The next entry that will reach the server, so its envelope can travel
    // with this message's end. It only moves forward, so each entry is
    // looked at once here.
    qsizetype ahead = 0;
    OutgoingMessage aheadMessage;
    OutgoingMessage current;
    if (count > 0)
        current = messages.messageFor(list.entry(0), env.now());
    for (qsizetype i = 0; i < count; ++i) {
        source.setProgress(i + 1);
        const SendList::Entry e = list.entry(i);
        QString reply = current.error;
        const bool started = reply.isEmpty();
        if (started) {
            if (ahead <= i) {
                for (ahead = i + 1; ahead < count; ++ahead) {
                    aheadMessage = messages.envelopeFor(list.entry(ahead));
                    if (aheadMessage.error.isEmpty())
                        break;
                }
            }
            transport->start(current.envelope, current.data, ahead < count ? &aheadMessage.envelope : nullptr);
        }
        // Built while the server takes this one.
        OutgoingMessage following;
        if (i + 1 < count)
            following = messages.messageFor(list.entry(i + 1), env.now());
        if (started)
            reply = transport->finish();
        current = std::move(following);
        const QDateTime when = env.now();
        if (reply.isEmpty()) {
            if (logged && !log.writeSuccess(e.name1, e.name2, e.address, when)) {
                result.text = log.errorString();
                return result;
            }
            ++result.accepted;
            continue;
        }
        if (stopsTheRun(reply)) {
            log.close();
            result.outcome = Outcome::Aborted;
            result.text = reply;
            return result;
        }
        if (logged && !log.writeError(e.name1, e.name2, e.address, reply, when)) {
            result.text = log.errorString();
            return result;
        }
    }
    list.clear();
    log.close();
    result.outcome = Outcome::Completed;
    return result;
}
