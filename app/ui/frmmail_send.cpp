#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
#include "certificate.h"
#include "charsetcheck.h"
#include "failurehint.h"
#include "frmcertificate.h"
#include "frmpreview.h"
#include "offthread.h"
#include "platform.h"
#include "preflight.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "suppression.h"
#include "unsubscribe.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <utility>

namespace {

const QString kInformation = QStringLiteral("Information");
const QString kQuestion = QStringLiteral("Question");

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// How long a reply may take before the window says it waits for the server.
constexpr qint64 kSlowServerMs = 2000;
// How long a stop may wait for the message in flight before the window
// offers to stop at once.
constexpr int kStopNowOfferMs = 5000;

} // namespace

RunInputs frmMail::windowInputs() const
{
    return {txtSubject->text(), bodyText(), txtFile->text(), Check1->isChecked(), !Check2->isChecked()};
}

bool frmMail::passesSendChecks()
{
    const SendCheck check = checkSendRun(ActiveAccount, sendList().count(), txtSubject->text(), bodyText());
    if (check != SendCheck::Ok)
        platform().messageBox(this, sendCheckMessage(check), kInformation, MsgIcon::Information, MsgButtons::Ok);
    switch (check) {
    case SendCheck::Account: openAccounts(); return false;
    case SendCheck::EmptyList: openAddressBookBusy(); return false;
    case SendCheck::EmptySubject: txtSubject->setFocus(); return false;
    case SendCheck::EmptyBody: txtBody->setFocus(); return false;
    case SendCheck::Ok: break;
    }
    return true;
}

OutgoingContent frmMail::currentContent()
{
    const RunInputs in = windowInputs();
    OutgoingContent content;
    content.fromName = ActiveAccount.szFromName;
    content.fromAddress = ActiveAccount.szFrom;
    content.subject = in.subject;
    content.bodyText = in.bodyText;
    content.attachmentText = in.attachmentText;
    content.nameBlock = in.nameBlock;
    content.honorific = honorificText(in.honorific);
    content.charset = ActiveAccount.Charset;
    content.unsubscribe = unsubscribeParts(ActiveAccount, *m_ctx.settings);
    return content;
}

bool frmMail::isRunning() const
{
    return m_run != nullptr;
}

// The send command.
void frmMail::Command1_Click()
{
    if (isRunning())
        return;
    // The log and the journal are this window's until the run ends; another
    // run (a second window, a scheduled command) may hold them.
    auto lock = std::make_unique<RunLock>(SentMailLog::pathIn(platform().programFolder()));
    const bool locked = lock->tryLock();
    // A lock that can't be made at all is the run's to report, as a log it
    // can't write.
    if (!locked && lock->holderPid() > 0) {
        SendRunResult busy;
        busy.outcome = SendRunResult::Outcome::Busy;
        busy.text = lock->errorText();
        platform().messageBox(this, sendOutcomeMessage(busy), kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    if (locked)
        m_runLock = std::move(lock);
    // A run that ended early is offered first; finishing it is this send.
    if (!offerResume() && passesSendChecks() && confirmAddresses() && confirmCharset()
        && (!lacksUnsubscribeNotice(ActiveAccount, bodyText())
            || platform().messageBox(this, kUnsubscribeNoticeQuestion, kQuestion, MsgIcon::Question, MsgButtons::YesNo,
                                     MsgDefault::No)
                   == MsgAnswer::Yes))
        startRun({});
    if (!isRunning())
        m_runLock.reset();
}

// Addresses the send would refuse, and addresses more than once in the
// list, are the user's to decide on before anything is sent.
bool frmMail::confirmAddresses()
{
    const AddressProblems problems = findAddressProblems(sendList());
    m_skipEntries.clear();
    if (!problems.refused.isEmpty()
        && platform().messageBox(this,
                                 QStringLiteral(
                                     "送信できないメールアドレスが %1 件あります。これらを除いて送信しますか？\n\n")
                                         .arg(problems.refused.size())
                                     + describeRefused(sendList(), problems.refused),
                                 kQuestion, MsgIcon::Question, MsgButtons::YesNo, MsgDefault::No)
               != MsgAnswer::Yes)
        return false;
    if (!problems.duplicates.isEmpty()
        && platform().messageBox(this,
                                 QStringLiteral(
                                     "同じメールアドレスが %1 件あります。１つのアドレスには１通だけ送りますか？")
                                     .arg(problems.duplicates.size()),
                                 kQuestion, MsgIcon::Question, MsgButtons::YesNo)
               == MsgAnswer::Yes)
        m_skipEntries = problems.duplicates;
    // Suppressed addresses never get a message, whatever the list says.
    const SuppressedEntries suppressed = findSuppressedEntries(sendList(),
                                                               databasePathFor(settings().value(Setting::DatabaseFile),
                                                                               platform().programFolder()));
    if (!suppressed.error.isEmpty()) {
        platform().messageBox(this,
                              QStringLiteral(
                                  "配信停止中のアドレスを宛先データベースから読めないため、送信できません。\n")
                                  + suppressed.error,
                              kInformation, MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    m_skipEntries = mergedEntries(m_skipEntries, suppressed.entries);
    m_suppressedLeftOut = suppressed.entries.size();
    return true;
}

bool frmMail::confirmCharset()
{
    m_utf8ForRun = false;
    if (ActiveAccount.Charset != MailCharset::Iso2022Jp)
        return true;
    const iso2022jp::Unwritable lost = unwritableCharacters(currentContent(), sendList());
    if (lost.isEmpty())
        return true;
    m_utf8ForRun = platform().messageBox(this, utf8FallbackQuestion(lost), kQuestion, MsgIcon::Question,
                                         MsgButtons::YesNo, MsgDefault::No)
                   == MsgAnswer::Yes;
    return m_utf8ForRun;
}

void frmMail::startRun(const QList<qsizetype> &journalIndex)
{
    SendRunEnvironment env;
    env.logPath = SentMailLog::pathIn(platform().programFolder());
    env.journalPath = SendJournal::pathBeside(env.logPath);
    env.journalIndex = journalIndex;
    env.lockHeld = m_runLock != nullptr;
    env.now = [this] { return platform().now(); };
    env.transport = transportOptions;
    env.sizeLimit = storedSizeLimit(settings(), ActiveAccount.Account);
    env.suppressedLeftOut = std::exchange(m_suppressedLeftOut, 0);
    m_untrusted = std::make_shared<UntrustedCertificateSink>();
    env.transport.untrustedCertificates = m_untrusted;
    AccountRecord account = ActiveAccount;
    if (std::exchange(m_utf8ForRun, false))
        account.Charset = MailCharset::Utf8;
    m_run = std::make_unique<BackgroundRun>(account, withoutEntries(sendList().rows(), m_skipEntries), windowInputs(),
                                            env);
    m_skipEntries.clear();
    connect(m_run.get(), &BackgroundRun::progress, this, &frmMail::runProgress);
    connect(m_run.get(), &BackgroundRun::waiting, this, &frmMail::runWaiting);
    connect(m_run.get(), &BackgroundRun::finished, this, &frmMail::runFinished);

    platform().setBusy(true);
    m_closeAfterRun = false;
    m_runCount.clear();
    lblRun->setText(QStringLiteral("接続しています…"));
    cmdStop->setEnabled(true);
    m_runBar->show();
    setRunInputBlocked(true);
    m_runStarted.start();
    m_phaseStarted.start();
    m_runClock->start();
    m_run->start();
}

// Everything but the stop button, Esc and the close box is out of reach
// while the run works.
void frmMail::setRunInputBlocked(bool blocked)
{
    for (QWidget *w : {static_cast<QWidget *>(menuBar()), static_cast<QWidget *>(tbToolBar), centralWidget()})
        w->setEnabled(!blocked);
    m_escStop->setEnabled(blocked);
}

void frmMail::runProgress(qsizetype value, qsizetype maximum)
{
    ProgressBar1->setRange(0, static_cast<int>(std::min<qsizetype>(maximum, INT_MAX)));
    ProgressBar1->setValue(static_cast<int>(std::min<qsizetype>(value, INT_MAX)));
    m_runValue = value;
    m_runMaximum = maximum;
    m_runCount = QStringLiteral("%1 / %2").arg(value).arg(maximum);
    m_waitMs = 0;
    m_phaseStarted.restart();
    showRunState();
}

void frmMail::runWaiting(qint64 ms, const QString &what)
{
    m_waitMs = ms;
    m_waitWhat = what;
    m_phaseStarted.restart();
    showRunState();
}

// i / N, messages a second and the time the rest will take; while it
// waits, what for and how long; while a reply is slow, that it waits for
// the server.
void frmMail::showRunState()
{
    if (!m_run)
        return;
    const qint64 inPhase = m_phaseStarted.elapsed();
    QString text = m_runCount.isEmpty() ? QStringLiteral("接続しています…") : m_runCount;
    if (m_waitMs > 0) {
        text += QStringLiteral("　%1　残り %2 秒")
                    .arg(m_waitWhat)
                    .arg((std::max<qint64>(m_waitMs - inPhase, 0) + 999) / 1000);
    } else if (inPhase >= kSlowServerMs) {
        text += QStringLiteral("　サーバーの応答を待っています（%1 秒）").arg(inPhase / 1000);
    } else if (!m_runCount.isEmpty()) {
        const double seconds = m_runStarted.elapsed() / 1000.0;
        const double rate = seconds > 0.5 ? (m_runValue - 1) / seconds : 0;
        if (rate > 0)
            text += QStringLiteral("　%1 通/秒　残り %2")
                        .arg(rate, 0, 'f', 1)
                        .arg(minutesAndSeconds(qint64((m_runMaximum - m_runValue + 1) / rate)));
    }
    if (m_run->stopRequested())
        text += QStringLiteral("　中止しています…");
    lblRun->setText(text);
}

void frmMail::cmdStop_Click()
{
    if (!m_run)
        return;
    // A second press: the user will not wait for the message in flight.
    if (m_run->stopRequested()) {
        offerStopNow();
        return;
    }
    m_run->requestStop();
    showRunState();
    QTimer::singleShot(kStopNowOfferMs, this, [this, run = m_run.get()] {
        if (m_run.get() == run && m_waitMs == 0)
            offerStopNow();
    });
}

void frmMail::offerStopNow()
{
    if (!m_run || m_stopNowAsked)
        return;
    m_stopNowAsked = true;
    const MsgAnswer a =
        platform().messageBox(this, QStringLiteral("今すぐ中止しますか？（送信中の1件は届いたかどうかわかりません）"),
                              QStringLiteral("送信の中止"), MsgIcon::Question, MsgButtons::YesNo);
    m_stopNowAsked = false;
    // The run may have ended while the question was open.
    if (a == MsgAnswer::Yes && m_run)
        m_run->stopNow();
}

void frmMail::runFinished()
{
    const SendRunResult result = m_run->result();
    const RecipientRows left = m_run->listAfter();
    m_run.reset();
    m_runLock.reset();
    m_runClock->stop();
    m_runBar->hide();
    setRunInputBlocked(false);
    // The bar is for the run in progress only.
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    platform().setBusy(false);
    showRunOutcome(result, left);
    emit runEnded();
    if (m_closeAfterRun)
        close();
}

void frmMail::showRunOutcome(const SendRunResult &result, const RecipientRows &left)
{
    using Outcome = SendRunResult::Outcome;
    const QString message = sendOutcomeMessage(result);
    switch (result.outcome) {
    case Outcome::PreflightFailed:
    case Outcome::Busy:
        platform().messageBox(this, message, kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    case Outcome::PopLoginFailed:
        if (askAboutUntrustedCertificate())
            return;
        platform().messageBox(this, message, appTitle(), MsgIcon::Warning, MsgButtons::Ok);
        return;
    case Outcome::SignInFailed: askToSignInAgain(m_ctx, this, message); return;
    case Outcome::Aborted: {
        if (askAboutUntrustedCertificate())
            return;
        const QString hint = connectionFailureHint(result.text);
        if (needsNewSignIn(result.text)) {
            askToSignInAgain(m_ctx, this, message + QLatin1Char('\n') + hint);
            return;
        }
        platform().messageBox(this, hint.isEmpty() ? message : message + QLatin1Char('\n') + hint, appTitle(),
                              MsgIcon::None, MsgButtons::Ok);
        return;
    }
    case Outcome::Stopped:
        sendList().setRows(left);
        Text1->setText(QString::number(sendList().count()));
        platform().messageBox(this, message, kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    case Outcome::Completed:
        sendList().clear();
        platform().messageBox(this, message, kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    case Outcome::Failed:
        platform().messageBox(this, message, kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    }
    // The viewer reads the log and restores the pointer as it loads.
    platform().setBusy(true);
    if (m_ctx.openLogViewer)
        m_ctx.openLogViewer(this);
    else
        platform().setBusy(false);
}

bool frmMail::askAboutUntrustedCertificate()
{
    const std::optional<UntrustedCertificate> c = m_untrusted ? m_untrusted->take() : std::nullopt;
    if (!c)
        return false;
    // The list stays as it was; with the certificate trusted, the next send
    // goes through.
    if (askAboutCertificateOfAccountInUse(m_ctx, this, *c))
        showAccountState();
    return true;
}

// What each entry will receive, one at a time.
void frmMail::mnuFilePreview_Click()
{
    if (sendList().count() == 0) {
        platform().messageBox(this, sendCheckMessage(SendCheck::EmptyList), kInformation, MsgIcon::Information,
                              MsgButtons::Ok);
        return;
    }
    std::unique_ptr<frmPreview> preview;
    {
        BusyPointer busy(platform()); // attachments are read as it opens
        preview = std::make_unique<frmPreview>(m_ctx, ActiveAccount, currentContent(), transportOptions, this);
    }
    platform().showModal(preview.get());
}

// The first entry's message to the sender's own address.
void frmMail::mnuFileTest_Click()
{
    if (!passesSendChecks())
        return;
    SendRunEnvironment env;
    env.transport = transportOptions;
    env.transport.untrustedCertificates = std::make_shared<UntrustedCertificateSink>();
    env.now = [this] { return platform().now(); };
    env.sizeLimit = storedSizeLimit(settings(), ActiveAccount.Account);
    QString reply;
    {
        BusyPointer busy(platform());
        const AccountRecord account = ActiveAccount;
        const OutgoingContent content = currentContent();
        const SendList::Entry entry = sendList().entry(0);
        reply = waitOffThread<QString>(this, [&] { return sendTestMessage(account, content, entry, env); });
    }
    if (showTestMessageResult(m_ctx, this, ActiveAccount.szFrom, reply, *env.transport.untrustedCertificates))
        showAccountState();
}
