#include "sendcommand.h"

#include "account.h"
#include "bodyfile.h"
#include "csvimport.h"
#include "dryrun.h"
#include "localclock.h"
#include "programfolder.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "settingsstore.h"
#include "textcodec.h"
#include "textfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <unistd.h>

namespace {

enum Exit { Completed = 0, Error = 1, Aborted = 2 };

const char kUsage[] = "Usage:\n"
                      "  quillpost                 start the window\n"
                      "  quillpost send OPTIONS    send one message to every address of a list\n"
                      "  quillpost send --help     the options of send\n"
                      "  quillpost --help          this text\n";

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
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
    int nameBlock = 0;
    int noHonorific = 0;

    QString subject() override { return subjectText; }
    QString bodyText() override { return body; }
    QString attachmentText() override { return attachments; }
    int nameOption() override { return nameBlock; }
    int honorificOption() override { return noHonorific; }
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

// The entries of the list that the interrupted run of the same list did
// not reach; the one it may have been sending goes again, and is named.
bool resumeList(SendRunEnvironment &env, SendList &list, QString *error)
{
    if (!QFile::exists(env.journalPath)) {
        *error = QStringLiteral("no run to finish: %1 does not exist").arg(env.journalPath);
        return false;
    }
    const std::optional<JournalState> journal = readJournal(env.journalPath, error);
    if (!journal) {
        *error += QStringLiteral("; set aside as ") + setJournalAside(env.journalPath);
        return false;
    }
    QList<SendList::Entry> entries;
    for (qsizetype i = 0; i < list.count(); ++i)
        entries << list.entry(i);
    if (SendJournal::digestOf(entries) != journal->digest) {
        *error = QStringLiteral("%1 was written for another list; it is not applied to this one").arg(env.journalPath);
        return false;
    }
    if (journal->uncertain >= 0) {
        const SendList::Entry &e = entries[journal->uncertain];
        print(stderr, QStringLiteral("quillpost send: record %1 (%2) was on its way when the run ended; it is "
                                     "sent again and may arrive twice\n")
                          .arg(journal->uncertain + 1)
                          .arg(e.label()));
    }
    env.journalIndex = journal->remaining(true);
    list.beginBatch();
    list.clear();
    for (qsizetype i : env.journalIndex)
        list.append(entries[i].name1, entries[i].name2, entries[i].address);
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
    const QCommandLineOption resume{QStringLiteral("resume"),
                                    QStringLiteral("Finish the run of the same arguments that ended early: send only "
                                                   "to the entries it did not reach.")};
    int profile = 0;

    // "" when the arguments make a send (or ask for help).
    QString parse(const QStringList &arguments)
    {
        parser.setApplicationDescription(
            QStringLiteral("Sends one message to every address of a list, as the window's send command does."));
        parser.addOptions({account, list, subject, body, attach, nameBlock, noHonorific, log, caFile, dryRun, resume});
        parser.addHelpOption();
        parser.addPositionalArgument(QStringLiteral("send"), QStringLiteral("The command."));
        if (!parser.parse(arguments))
            return parser.errorText();
        if (helpAsked())
            return {};
        if (parser.positionalArguments() != QStringList{QStringLiteral("send")})
            return QStringLiteral("unexpected argument: ") + parser.positionalArguments().mid(1).join(QLatin1Char(' '));
        for (const QCommandLineOption *required : {&account, &list, &subject, &body})
            if (!parser.isSet(*required))
                return QStringLiteral("--%1 is missing").arg(required->names().first());
        bool ok = false;
        profile = parser.value(account).toInt(&ok);
        if (!ok || profile < 0 || profile > 4)
            return QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(parser.value(account));
        if (parser.isSet(dryRun) && parser.isSet(resume))
            return QStringLiteral("--resume and --dry-run don't go together");
        if (parser.isSet(caFile) && !QFileInfo(parser.value(caFile)).isReadable())
            return parser.value(caFile) + QStringLiteral(": certificate file not readable");
        return {};
    }
    bool helpAsked() const { return parser.isSet(QStringLiteral("help")); }
};

// Where the run writes: the log and the journal, or for a dry run a folder.
bool prepareRun(const SendOptions &o, SendRunEnvironment &env, QString *dryRunError, QString *error)
{
    env.now = localTimeToTheSecond;
    env.transport.extraCaFile = o.parser.value(o.caFile);
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
    return true;
}

// The closing line and the exit status.
int report(const SendRunResult &result, const SendOptions &o, const SendRunEnvironment &env, const QString &dryRunError)
{
    using Outcome = SendRunResult::Outcome;
    if (result.outcome == Outcome::PreflightFailed)
        return fail(QString(result.text).replace(QLatin1Char('\n'), QStringLiteral(" / ")));
    if (result.outcome == Outcome::Failed)
        return fail(sendOutcomeMessage(result) + QStringLiteral(" (") + env.logPath + QStringLiteral(": ") + result.text
                    + QLatin1Char(')'));
    if (!dryRunError.isEmpty())
        return fail(dryRunError);
    if (o.parser.isSet(o.dryRun) && result.outcome == Outcome::Completed)
        print(stdout, QStringLiteral("%1件のメッセージを %2 に書き出しました。\n")
                          .arg(result.accepted)
                          .arg(o.parser.value(o.dryRun)));
    else
        print(stdout, sendOutcomeMessage(result) + QLatin1Char('\n'));
    return result.outcome == Outcome::Completed ? Completed : Aborted;
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

    CommandSource source;
    source.subjectText = o.parser.value(o.subject);
    source.nameBlock = o.parser.isSet(o.nameBlock) ? 1 : 0;
    source.noHonorific = o.parser.isSet(o.noHonorific) ? 1 : 0;
    source.attachments = o.parser.values(o.attach).join(QLatin1Char('\t'));
    const std::optional<QString> body = readTextFile(o.parser.value(o.body), &error, nullptr, BodyFile::kMaxBytes);
    if (!body)
        return fail(error);
    source.body = toCrLf(*body);
    SendList list;
    if (!readList(o.parser.value(o.list), list, &error))
        return fail(error);

    SendRunEnvironment env;
    QString dryRunError;
    if (!prepareRun(o, env, &dryRunError, &error))
        return fail(error);
    if (o.parser.isSet(o.resume)) {
        if (!resumeList(env, list, &error))
            return fail(error);
        if (list.count() == 0) {
            QFile::remove(env.journalPath);
            SendRunResult nothingLeft;
            nothingLeft.outcome = SendRunResult::Outcome::Completed;
            print(stdout, sendOutcomeMessage(nothingLeft) + QLatin1Char('\n'));
            return Completed;
        }
    }

    SettingsStore settings;
    ActiveAccount = AccountRecord();
    ActiveAccount.Account = static_cast<qint16>(o.profile);
    LoadAccountProfile(settings, ActiveAccount.Account);
    const SendCheck check = checkSendRun(ActiveAccount, list.count(), source.subjectText, source.body);
    if (check != SendCheck::Ok)
        return fail(sendCheckMessage(check));
    return report(runSend(ActiveAccount, list, source, env), o, env, dryRunError);
}

} // namespace

bool isCommandLine(const QStringList &arguments)
{
    const QString first = arguments.value(1);
    return first == QStringLiteral("send") || first == QStringLiteral("--help") || first == QStringLiteral("-h");
}

int runCommandLine(const QStringList &arguments)
{
    if (arguments.value(1) == QStringLiteral("send"))
        return runSendCommand(arguments);
    print(stdout, QString::fromLatin1(kUsage));
    return Completed;
}
