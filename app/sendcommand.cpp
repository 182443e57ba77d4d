#include "sendcommand.h"

#include "account.h"
#include "bodyfile.h"
#include "cafile.h"
#include "certificate.h"
#include "charsetcheck.h"
#include "charsetoptions.h"
#include "checkcommand.h"
#include "commandio.h"
#include "csvimport.h"
#include "dryrun.h"
#include "failurehint.h"
#include "inboxcommand.h"
#include "localclock.h"
#include "logincommand.h"
#include "preflight.h"
#include "programfolder.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "settingsstore.h"
#include "signin.h"
#include "suppression.h"
#include "textcodec.h"
#include "textfile.h"
#include "unsubscribe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <unistd.h>

namespace {

enum Exit { Completed = 0, Error = 1, Aborted = 2, Uncertain = 3 };

const char kUsage[] = "Usage:\n"
                      "  quillpost                      start the window\n"
                      "  quillpost send OPTIONS         send one message to every address of a list\n"
                      "  quillpost send --help          the options of send\n"
                      "  quillpost check --account N    test the account's connection, sending nothing\n"
                      "  quillpost inbox --account N    read bounces and unsubscribe requests from the mailbox\n"
                      "  quillpost login --account N    sign an OAuth 2.0 account in\n"
                      "  quillpost --help               this text\n";

void print(FILE *to, const QString &text)
{
    printText(to, text);
}

int fail(const QString &what)
{
    print(stderr, QStringLiteral("quillpost send: ") + what + QLatin1Char('\n'));
    return Error;
}

// The run's inputs from the command line; progress as a bar on a terminal.
class CommandSource : public SendRunSource {
public:
    QString subjectText, body, attachments;
    bool nameBlock = false;
    bool honorific = true;

    QString subject() override { return subjectText; }
    QString bodyText() override { return body; }
    QString attachmentText() override { return attachments; }
    bool nameBlockOn() override { return nameBlock; }
    bool honorificOn() override { return honorific; }
    void setProgressMaximum(qsizetype maximum) override
    {
        m_maximum = maximum;
        m_bar = isatty(STDERR_FILENO) == 1;
        m_shown.start();
    }
    void setProgress(qsizetype value) override
    {
        if (!m_bar || (value != m_maximum && m_shown.elapsed() < 100))
            return;
        m_shown.restart();
        const int width = 40;
        const int filled = m_maximum > 0 ? static_cast<int>(value * width / m_maximum) : width;
        std::fprintf(stderr, "\r[%s%s] %lld / %lld", QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '.').constData(), static_cast<long long>(value),
                     static_cast<long long>(m_maximum));
        if (value == m_maximum)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    qsizetype m_maximum = 0;
    bool m_bar = false;
    QElapsedTimer m_shown;
};

// The list file: the import's records, rows without "@" left out with a
// warning. False with an error text when the file can't be read. It is read a
// piece at a time, within the import's limits.
bool readList(const QString &path, SendList &list, QString *error)
{
    ImportRecordReader reader;
    if (!reader.open(path, error))
        return false;
    ImportRow row;
    qsizetype record = 0;
    list.beginBatch();
    while (!reader.atEnd()) {
        ++record;
        QString readError;
        if (!reader.next(&row, &readError)) {
            list.endBatch();
            // A fault of the file names the file (and line) itself.
            *error = reader.fileFailed() ? readError : path + QStringLiteral(": record %1: ").arg(record) + readError;
            return false;
        }
        if (isUsableAddress(row.address))
            list.append(row.name1, row.name2, row.address);
        else
            print(stderr, QStringLiteral("quillpost send: %1: record %2 skipped, no @ in \"%3\"\n")
                              .arg(path)
                              .arg(record)
                              .arg(row.address));
    }
    list.endBatch();
    return true;
}

// The options of "send".
struct SendOptions {
    QCommandLineParser parser;
    const QCommandLineOption account{QStringLiteral("account"), QStringLiteral("Account profile (0-4)."),
                                     QStringLiteral("N")};
    const QCommandLineOption list{QStringLiteral("list"),
                                  QStringLiteral("Recipients: name line 1, name line 2, address per record."),
                                  QStringLiteral("FILE")};
    const QCommandLineOption subject{QStringLiteral("subject"), QStringLiteral("Subject."), QStringLiteral("TEXT")};
    const QCommandLineOption body{QStringLiteral("body"), QStringLiteral("Body text file."), QStringLiteral("FILE")};
    const QCommandLineOption attach{QStringLiteral("attach"), QStringLiteral("Attachment (repeatable)."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption nameBlock{QStringLiteral("name-block"),
                                       QStringLiteral("Open each body with the recipient's name lines.")};
    const QCommandLineOption noHonorific{QStringLiteral("no-honorific"), QStringLiteral("No 様 after the name.")};
    const QCommandLineOption log{QStringLiteral("log"), QStringLiteral("Sent-mail log (default: the window's)."),
                                 QStringLiteral("FILE")};
    const QCommandLineOption caFile{QStringLiteral("ca-file"),
                                    QStringLiteral("Extra trusted certificates (PEM), e.g. a company's own CA."),
                                    QStringLiteral("PEM")};
    const QCommandLineOption dryRun{QStringLiteral("dry-run"),
                                    QStringLiteral("Connect to nothing: write each message to DIR as 00001.eml, ... "
                                                   "and the envelopes to DIR/envelope.csv; keep no log."),
                                    QStringLiteral("DIR")};
    const QCommandLineOption resume{
        QStringLiteral("resume"),
        QStringLiteral("Finish the run that ended early: its message to the entries it did not reach. Other "
                       "options, where given, must match it.")};
    const QCommandLineOption keepDuplicates{
        QStringLiteral("keep-duplicates"),
        QStringLiteral("Send to every entry, even when an address comes more than once (otherwise once each).")};
    const QCommandLineOption discardJournal{
        QStringLiteral("discard-journal"),
        QStringLiteral("Drop the journal of a run that ended early and start this one afresh.")};
    const QCommandLineOption withoutNotice{
        QStringLiteral("without-unsubscribe-notice"),
        QStringLiteral("Send even when the body shows neither a way to unsubscribe nor the sender's name.")};
    CharsetOptions charsets;
    int profile = 0;

    // "" when the arguments make a send (or ask for help).
    QString parse(const QStringList &arguments)
    {
        parser.setApplicationDescription(
            QStringLiteral("Sends one message to every address of a list, as the window's send command does."));
        parser.addOptions({account, list, subject, body, attach, nameBlock, noHonorific, log, caFile, dryRun, resume,
                           keepDuplicates, discardJournal, charsets.charset, charsets.fallback, withoutNotice});
        parser.addHelpOption();
        parser.addPositionalArgument(QStringLiteral("send"), QStringLiteral("The command."));
        if (!parser.parse(arguments))
            return parser.errorText();
        if (helpAsked())
            return {};
        if (parser.positionalArguments() != QStringList{QStringLiteral("send")})
            return QStringLiteral("unexpected argument: ") + parser.positionalArguments().mid(1).join(QLatin1Char(' '));
        // A resumed run takes what it sends from its journal.
        if (!parser.isSet(resume))
            for (const QCommandLineOption *required : {&account, &list, &subject, &body})
                if (!parser.isSet(*required))
                    return QStringLiteral("--%1 is missing").arg(required->names().first());
        bool ok = true;
        profile = parser.isSet(account) ? parser.value(account).toInt(&ok) : 0;
        if (!ok || profile < 0 || profile > 4)
            return QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(parser.value(account));
        if (parser.isSet(dryRun) && (parser.isSet(resume) || parser.isSet(discardJournal)))
            return QStringLiteral("--dry-run keeps no journal: it goes with neither --resume nor --discard-journal");
        if (parser.isSet(resume) && parser.isSet(discardJournal))
            return QStringLiteral("--resume and --discard-journal don't go together");
        if (const QString problem = charsets.problem(parser); !problem.isEmpty())
            return problem;
        if (parser.isSet(caFile))
            return caFileProblem(parser.value(caFile));
        return {};
    }
    bool helpAsked() const { return parser.isSet(QStringLiteral("help")); }
};

// Where the run writes: the log and the journal, or for a dry run a folder.
bool prepareRun(const SendOptions &o, SendRunEnvironment &env, QString *dryRunError, QString *error)
{
    env.now = localTimeToTheSecond;
    env.transport.extraCaFile = o.parser.value(o.caFile);
    env.transport.untrustedCertificates = std::make_shared<UntrustedCertificateSink>();
    env.logPath = o.parser.isSet(o.log)
                      ? o.parser.value(o.log)
                      : SentMailLog::pathIn(
                          writableProgramFolder(QCoreApplication::applicationDirPath(),
                                                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    if (!o.parser.isSet(o.dryRun)) {
        env.journalPath = SendJournal::pathBeside(env.logPath);
        return true;
    }
    const QString folder = o.parser.value(o.dryRun);
    if (!DryRunTransport::prepareFolder(folder, error))
        return false;
    env.logPath.clear();
    env.makeTransport = [folder, dryRunError](const TransportSettings &) {
        return std::make_unique<DryRunTransport>(folder, dryRunError);
    };
    // A dry run connects to nothing, the token endpoint included; its
    // transport never logs in.
    env.accessToken = [](const AccountRecord &) { return AccessToken{QStringLiteral("dry-run"), {}, false}; };
    return true;
}

// The closing line and the exit status.
int report(const SendRunResult &result, const SendOptions &o, const SendRunEnvironment &env, const QString &dryRunError,
           int profile)
{
    using Outcome = SendRunResult::Outcome;
    if (result.outcome == Outcome::SignInFailed) {
        // The provider's words on stderr; the way out on stdout.
        print(stderr, QStringLiteral("quillpost send: ")
                          + QString(result.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n'));
        if (result.signInExpired)
            print(stdout, signInExpiredCommandText(profile) + QLatin1Char('\n'));
        return Aborted;
    }
    if (result.outcome == Outcome::PreflightFailed)
        return fail(QString(result.text).replace(QLatin1Char('\n'), QStringLiteral(" / ")));
    if (result.outcome == Outcome::Failed)
        return fail(sendOutcomeMessage(result) + QStringLiteral(" (") + env.logPath + QStringLiteral(": ") + result.text
                    + QLatin1Char(')'));
    if (result.outcome == Outcome::Busy)
        return fail(result.text);
    if (!dryRunError.isEmpty())
        return fail(dryRunError);
    if (o.parser.isSet(o.dryRun) && result.outcome == Outcome::Completed)
        print(stdout, QStringLiteral("%1件のメッセージを %2 に書き出しました（%3）。\n")
                          .arg(result.accepted)
                          .arg(o.parser.value(o.dryRun), charsetName(o.charsets.used)));
    else
        print(stdout, sendOutcomeMessage(SendRunResult{
                          result.outcome, result.accepted, result.remaining, result.text, {}, false, result.suppressed})
                          + QLatin1Char('\n'));
    // What a failed connection means, in a sentence.
    if (result.outcome == Outcome::Aborted && !connectionFailureHint(result.text).isEmpty())
        print(stdout, connectionFailureHint(result.text) + QLatin1Char('\n'));
    // A certificate is the user's to trust, in the window: what it says.
    if (const std::optional<UntrustedCertificate> c = env.transport.untrustedCertificates->take())
        print(stderr, describeUntrustedCertificate(*c));
    for (const SendList::Entry &e : result.uncertain)
        print(stderr, QStringLiteral("quillpost send: %1 may not have arrived: the server gave no reply after its "
                                     "message; --resume sends it again\n")
                          .arg(e.label()));
    if (result.outcome != Outcome::Completed)
        return Aborted;
    return result.uncertain.isEmpty() ? Completed : Uncertain;
}

// Refused addresses get their error records in the run; an address that
// comes again gets no second message unless asked for.
void reportAddressProblems(const SendOptions &o, SendList &list)
{
    const AddressProblems problems = findAddressProblems(list);
    if (!problems.refused.isEmpty())
        print(stderr, QStringLiteral("quillpost send: %1 addresses can't be sent to; each gets an error record in "
                                     "the log\n%2\n")
                          .arg(problems.refused.size())
                          .arg(describeRefused(list, problems.refused)));
    if (problems.duplicates.isEmpty())
        return;
    if (o.parser.isSet(o.keepDuplicates)) {
        print(stderr, QStringLiteral("quillpost send: %1 entries repeat an earlier address; each is sent\n")
                          .arg(problems.duplicates.size()));
        return;
    }
    list.setRows(withoutEntries(list.rows(), problems.duplicates));
    print(stderr, QStringLiteral("quillpost send: %1 entries repeat an earlier address; each address gets one message "
                                 "(--keep-duplicates sends every entry)\n")
                      .arg(problems.duplicates.size()));
}

// Suppressed addresses never get a message: they leave the list before the
// run, and the closing line counts them.
bool leaveOutSuppressed(SendList &list, SendRunEnvironment &env, QString *error)
{
    const SettingsStore settings;
    const QString database = databasePathFor(settings.value(Setting::DatabaseFile),
                                             writableProgramFolder(QCoreApplication::applicationDirPath(),
                                                                   QStandardPaths::writableLocation(
                                                                       QStandardPaths::AppDataLocation)));
    const SuppressedEntries suppressed = findSuppressedEntries(list, database);
    if (!suppressed.error.isEmpty()) {
        *error = database + QStringLiteral(": the suppressed addresses can't be read: ") + suppressed.error;
        return false;
    }
    list.setRows(withoutEntries(list.rows(), suppressed.entries));
    env.suppressedLeftOut = suppressed.entries.size();
    return true;
}

// The journal beside the log, before a run that is not a resume: one that
// still has entries to send stops this run unless the user drops it.
bool clearJournalFor(const SendOptions &o, const QString &path, QString *error)
{
    if (!QFile::exists(path))
        return true;
    const std::optional<JournalState> journal = readJournal(path, error);
    if (!journal) {
        const QString aside = setJournalAside(path, error);
        if (aside.isEmpty())
            return false;
        print(stderr, QStringLiteral("quillpost send: %1; set aside as %2\n").arg(*error, aside));
        return true;
    }
    if (journal->pending() && !o.parser.isSet(o.discardJournal)) {
        *error = QStringLiteral("%1 holds a run that ended early (%2 of %3 entries left); finish it with --resume, "
                                "or start afresh with --discard-journal")
                     .arg(path)
                     .arg(journal->remaining(true).size())
                     .arg(journal->entries.size());
        return false;
    }
    if (!QFile::remove(path)) {
        *error = path + QStringLiteral(": can't be removed");
        return false;
    }
    return true;
}

// What a resumed run sends: the journal's message, to the entries its run
// did not reach. An option given with --resume must say what the journal
// says.
std::optional<JournalState> resumeFromJournal(const SendOptions &o, CommandSource &source, SendRunEnvironment &env,
                                              SendList &list, int *profile, QString *error)
{
    if (!QFile::exists(env.journalPath)) {
        *error = QStringLiteral("no run to finish: %1 does not exist").arg(env.journalPath);
        return std::nullopt;
    }
    std::optional<JournalState> journal = readJournal(env.journalPath, error);
    if (!journal) {
        *error += QStringLiteral("; set aside as ") + setJournalAside(env.journalPath);
        return std::nullopt;
    }
    const JournalContent &c = journal->content;
    if (o.parser.isSet(o.list)) {
        SendList given;
        if (!readList(o.parser.value(o.list), given, error))
            return std::nullopt;
        QList<SendList::Entry> entries;
        for (qsizetype i = 0; i < given.count(); ++i)
            entries << given.entry(i);
        if (SendJournal::digestOf(entries) != journal->digest) {
            *error =
                QStringLiteral("%1 was written for another list; it is not applied to this one").arg(env.journalPath);
            return std::nullopt;
        }
    }
    QStringList differ;
    if (o.parser.isSet(o.account) && o.profile != c.account)
        differ << QStringLiteral("--account");
    if (o.parser.isSet(o.subject) && o.parser.value(o.subject) != c.subject)
        differ << QStringLiteral("--subject");
    if (o.parser.isSet(o.body)) {
        const std::optional<QString> body = readTextFile(o.parser.value(o.body), error, nullptr, BodyFile::kMaxBytes);
        if (!body)
            return std::nullopt;
        if (toCrLf(*body) != c.bodyText)
            differ << QStringLiteral("--body");
    }
    // With the message given again, its attachments and options count too.
    if (o.parser.isSet(o.subject) || o.parser.isSet(o.body)) {
        if (o.parser.values(o.attach).join(QLatin1Char('\t')) != c.attachmentText)
            differ << QStringLiteral("--attach");
        if (o.parser.isSet(o.nameBlock) != c.nameBlock)
            differ << QStringLiteral("--name-block");
        if (o.parser.isSet(o.noHonorific) == c.honorific)
            differ << QStringLiteral("--no-honorific");
    }
    if (!differ.isEmpty()) {
        *error = QStringLiteral("%1 differs from the run being finished (%2); give --resume alone to send what "
                                "the journal holds")
                     .arg(differ.join(QStringLiteral(", ")), env.journalPath);
        return std::nullopt;
    }
    for (const QString &line : journal->damaged)
        print(stderr, QStringLiteral("quillpost send: %1: %2 was ignored\n").arg(env.journalPath, line));
    for (qsizetype i : journal->uncertain)
        print(stderr, QStringLiteral("quillpost send: record %1 (%2) was on its way when the run ended; it is "
                                     "sent again and may arrive twice\n")
                          .arg(i + 1)
                          .arg(journal->entries[i].label()));
    source.subjectText = c.subject;
    source.body = c.bodyText;
    source.attachments = c.attachmentText;
    source.nameBlock = c.nameBlock;
    source.honorific = c.honorific;
    *profile = c.account;
    env.journalIndex = journal->remaining(true);
    list.setEntries(journal->entries, env.journalIndex);
    return journal;
}

int runSendCommand(const QStringList &arguments)
{
    SendOptions o;
    QString error = o.parse(arguments);
    if (!error.isEmpty())
        return fail(error);
    if (o.helpAsked()) {
        print(stdout, o.parser.helpText());
        return Completed;
    }

    SendRunEnvironment env;
    QString dryRunError;
    if (!prepareRun(o, env, &dryRunError, &error))
        return fail(error);
    // The log and the journal are this run's alone from here on.
    std::unique_ptr<RunLock> lock;
    if (!env.logPath.isEmpty()) {
        lock = std::make_unique<RunLock>(env.logPath);
        if (!lock->tryLock())
            return fail(lock->errorText());
        env.lockHeld = true;
    }

    CommandSource source;
    SendList list;
    int profile = o.profile;
    if (o.parser.isSet(o.resume)) {
        const std::optional<JournalState> journal = resumeFromJournal(o, source, env, list, &profile, &error);
        if (!journal)
            return fail(error);
        if (list.count() == 0) {
            QFile::remove(env.journalPath);
            SendRunResult nothingLeft;
            nothingLeft.outcome = SendRunResult::Outcome::Completed;
            print(stdout, sendOutcomeMessage(nothingLeft) + QLatin1Char('\n'));
            return Completed;
        }
    } else {
        source.subjectText = o.parser.value(o.subject);
        source.nameBlock = o.parser.isSet(o.nameBlock);
        source.honorific = !o.parser.isSet(o.noHonorific);
        source.attachments = o.parser.values(o.attach).join(QLatin1Char('\t'));
        const std::optional<QString> body = readTextFile(o.parser.value(o.body), &error, nullptr, BodyFile::kMaxBytes);
        if (!body)
            return fail(error);
        source.body = toCrLf(*body);
        if (!readList(o.parser.value(o.list), list, &error))
            return fail(error);
        reportAddressProblems(o, list);
        if (!leaveOutSuppressed(list, env, &error))
            return fail(error);
        if (!env.journalPath.isEmpty() && !clearJournalFor(o, env.journalPath, &error))
            return fail(error);
    }

    const SettingsStore settings;
    AccountRecord account;
    account.Account = static_cast<qint16>(profile);
    readAccountProfile(settings, account.Account, account);
    env.sizeLimit = storedSizeLimit(settings, account.Account);
    const SendCheck check = checkSendRun(account, list.count(), source.subjectText, source.body);
    if (check != SendCheck::Ok)
        return fail(sendCheckMessage(check));
    if (!o.charsets.apply(o.parser, account, outgoingContent(account, source), list, &error))
        return fail(error);
    if (!o.parser.isSet(o.withoutNotice) && lacksUnsubscribeNotice(account, source.body))
        return fail(kUnsubscribeNoticeQuestion);
    return report(runSend(account, list, source, env), o, env, dryRunError, profile);
}

} // namespace

bool isCommandLine(const QStringList &arguments)
{
    const QString first = arguments.value(1);
    return first == QStringLiteral("send") || first == QStringLiteral("check") || first == QStringLiteral("login")
           || first == QStringLiteral("inbox") || first == QStringLiteral("--help") || first == QStringLiteral("-h");
}

int runCommandLine(const QStringList &arguments)
{
    if (arguments.value(1) == QStringLiteral("send"))
        return runSendCommand(arguments);
    if (arguments.value(1) == QStringLiteral("check"))
        return runCheckCommand(arguments);
    if (arguments.value(1) == QStringLiteral("login"))
        return runLoginCommand(arguments);
    if (arguments.value(1) == QStringLiteral("inbox"))
        return runInboxCommand(arguments);
    print(stdout, QString::fromLatin1(kUsage));
    return Completed;
}
