#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
#include "frmpreview.h"
#include "platform.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <functional>

namespace {

const QString kInformation = QStringLiteral("Information");

// While the run works, the window keeps painting (progress, exposed areas)
// but takes no input but the stop button and Esc: clicks, keys and close
// requests are dropped, not queued for after the run.
class InputBlocker : public QObject {
public:
    InputBlocker(QWidget *stopButton, std::function<void()> onStop)
        : m_stopButton(stopButton), m_onStop(std::move(onStop))
    {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    // Paints at most every 40 ms, so a fast run is not slowed down by it.
    void pump()
    {
        if (m_timer.isValid() && m_timer.elapsed() < 40)
            return;
        m_timer.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: return watched != m_stopButton;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                m_onStop();
            return true;
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease: return true;
        case QEvent::Close: event->ignore(); return true;
        default: return false;
        }
    }

private:
    QWidget *m_stopButton;
    std::function<void()> m_onStop;
    QElapsedTimer m_timer;
};

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The window's values as the run reads them; its progress and waits as the
// window shows them.
class WindowSource : public SendRunSource {
public:
    // Without a blocker the source only reads the window.
    WindowSource(frmMail &w, InputBlocker *blocker) : m_w(w), m_blocker(blocker) {}
    QString subject() override { return m_w.txtSubject->text(); }
    QString bodyText() override { return m_w.bodyText(); }
    QString attachmentText() override { return m_w.txtFile->text(); }
    int nameOption() override { return m_w.Check1->isChecked() ? 1 : 0; }
    int honorificOption() override { return m_w.Check2->isChecked() ? 1 : 0; }
    void setProgressMaximum(qsizetype maximum) override
    {
        m_maximum = maximum;
        m_w.ProgressBar1->setRange(0, static_cast<int>(std::min<qsizetype>(maximum, INT_MAX)));
        m_started.start();
    }
    void setProgress(qsizetype value) override
    {
        m_w.ProgressBar1->setValue(static_cast<int>(std::min<qsizetype>(value, INT_MAX)));
        if (!m_blocker)
            return;
        // i / N, messages a second so far, and the time the rest will take.
        const double seconds = m_started.elapsed() / 1000.0;
        const double rate = seconds > 0.5 ? (value - 1) / seconds : 0;
        m_count = QStringLiteral("%1 / %2").arg(value).arg(m_maximum);
        QString text = m_count;
        if (rate > 0)
            text += QStringLiteral("　%1 通/秒　残り %2")
                        .arg(rate, 0, 'f', 1)
                        .arg(minutesAndSeconds(qint64((m_maximum - value + 1) / rate)));
        m_w.lblRun->setText(text);
        m_blocker->pump();
    }
    bool stopRequested() override { return m_w.StopRequested; }
    bool pause(qint64 ms, const QString &what) override
    {
        if (!m_blocker)
            return SendRunSource::pause(ms, what);
        const QString before = m_w.lblRun->text();
        const QDeadlineTimer until(ms);
        while (!until.hasExpired() && !m_w.StopRequested) {
            m_w.lblRun->setText(
                QStringLiteral("%1　%2　残り %3 秒").arg(m_count, what).arg((until.remainingTime() + 999) / 1000));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(until.remainingTime(), 30)));
        }
        m_w.lblRun->setText(before);
        return !m_w.StopRequested;
    }

private:
    frmMail &m_w;
    InputBlocker *m_blocker;
    qsizetype m_maximum = 0;
    QElapsedTimer m_started;
    QString m_count; // "i / N"
};

} // namespace

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
    WindowSource source(*this, nullptr);
    return outgoingContent(ActiveAccount, source);
}

// The send command.
void frmMail::Command1_Click()
{
    // The log and the journal are this window's until the run ends; another
    // run (a second window, a scheduled command) may hold them.
    RunLock lock(SentMailLog::pathIn(platform().programFolder()));
    const bool locked = lock.tryLock();
    // A lock that can't be made at all is the run's to report, as a log it
    // can't write.
    if (!locked && lock.holderPid() > 0) {
        SendRunResult busy;
        busy.outcome = SendRunResult::Outcome::Busy;
        busy.text = lock.errorText();
        platform().messageBox(this, sendOutcomeMessage(busy), kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    // A run that ended early is offered first; finishing it is this send.
    if (offerResume())
        return;
    if (!passesSendChecks())
        return;
    runFromWindow({}, locked);
}

void frmMail::runFromWindow(const QList<qsizetype> &journalIndex, bool lockHeld)
{
    platform().setBusy(true);
    StopRequested = false;
    lblRun->clear();
    lblRun->show();
    cmdStop->show();
    SendRunResult result;
    {
        InputBlocker blocker(cmdStop, [this] { StopRequested = true; });
        WindowSource source(*this, &blocker);
        SendRunEnvironment env;
        env.logPath = SentMailLog::pathIn(platform().programFolder());
        env.journalPath = SendJournal::pathBeside(env.logPath);
        env.journalIndex = journalIndex;
        env.lockHeld = lockHeld;
        env.now = [this] { return platform().now(); };
        env.transport = transportOptions;
        try {
            result = runSend(ActiveAccount, sendList(), source, env);
        } catch (...) {
            result = SendRunResult();
            result.outcome = SendRunResult::Outcome::Failed;
        }
    }
    lblRun->hide();
    cmdStop->hide();
    // The bar is for the run in progress only.
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);

    using Outcome = SendRunResult::Outcome;
    platform().setBusy(false);
    switch (result.outcome) {
    case Outcome::PreflightFailed:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    case Outcome::PopLoginFailed:
        platform().messageBox(this, sendOutcomeMessage(result), appTitle(), MsgIcon::Warning, MsgButtons::Ok);
        return;
    case Outcome::Aborted:
        platform().messageBox(this, sendOutcomeMessage(result), appTitle(), MsgIcon::None, MsgButtons::Ok);
        return;
    case Outcome::Stopped:
        Text1->setText(QString::number(sendList().count()));
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    case Outcome::Completed:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    case Outcome::Failed:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    case Outcome::Busy:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    // The viewer reads the log and restores the pointer as it loads.
    platform().setBusy(true);
    if (m_ctx.openLogViewer)
        m_ctx.openLogViewer(this);
    else
        platform().setBusy(false);
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
        preview = std::make_unique<frmPreview>(m_ctx, currentContent(), transportOptions, this);
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
    env.now = [this] { return platform().now(); };
    QString reply;
    {
        BusyPointer busy(platform());
        reply = sendTestMessage(ActiveAccount, currentContent(), sendList().entry(0), env);
    }
    showTestMessageResult(m_ctx, this, ActiveAccount.szFrom, reply);
}
