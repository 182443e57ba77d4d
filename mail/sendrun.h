#pragma once
// The send run without its window: the checks, the arguments handed to the
// mail client, the personalised body, and the loop over the send list that
// writes SendMail.Log. The main window drives it and shows the messages.

#include <QDateTime>
#include <QString>
#include <functional>

struct AccountRecord;
class SendList;

// "　様" unless the honorific is switched off (Check2 = 1).
QString honorificText(int noHonorific);
// szServer, or szServer TAB szPort ":60" with SMTP AUTH.
QString serverArgument(const AccountRecord &account);
// szFromName "<" szFrom ">", with TAB User ":" UserPass under SMTP AUTH.
QString senderArgument(const AccountRecord &account);
QString recipientArgument(const QString &address);
// The name lines and honorific that open a body when Check1 is 1, else "".
QString nameBlock(int nameOption, const QString &name1, const QString &name2,
                  const QString &honorific);
QString bodyArgument(const QString &nameBlock, const QString &bodyText);

// The checks before anything is sent, in their order.
enum class SendCheck { Ok, Account, EmptyList, EmptySubject, EmptyBody };
SendCheck checkSendRun(const AccountRecord &account, qsizetype listCount,
                       const QString &subject, const QString &bodyText);

// What the run reads from the main window and how it shows progress.
class SendRunSource {
public:
    virtual ~SendRunSource() = default;
    virtual QString subject() = 0;
    virtual QString bodyText() = 0;
    virtual QString attachmentText() = 0;
    virtual int nameOption() = 0;       // Check1: 1 = name block at the head
    virtual int honorificOption() = 0;  // Check2: 1 = no honorific
    virtual void setProgressMaximum(qsizetype maximum) = 0;
    virtual void setProgress(qsizetype value) = 0;
};

struct SendRunResult {
    enum class Outcome {
        Completed,       // every entry tried; list emptied
        PopLoginFailed,  // log untouched; text = the POP result as text
        Aborted,         // connection or login failure; text = the client's text
        Failed,          // log or list failure; text = what went wrong
    };
    Outcome outcome = Outcome::Failed;
    qint32 accepted = 0;
    QString text;
};

struct SendRunEnvironment {
    QString logPath;
    std::function<QDateTime()> now;
};

// Steps from the honorific on: POP before SMTP, the log, one message per
// entry. A completed run empties the list; any other outcome keeps it.
SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env);
