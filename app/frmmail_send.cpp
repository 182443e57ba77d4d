#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
#include "frmpreview.h"
#include "platform.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace {

const QString kInformation = QStringLiteral("Information");

// While the run works, the window keeps painting (progress bar, exposed
// areas) but takes no input: clicks, keys and close requests are dropped,
// not queued for after the run.
class InputBlocker : public QObject {
public:
    InputBlocker() { qApp->installEventFilter(this); }
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
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        case QEvent::Close:
            event->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    QElapsedTimer m_timer;
};

// The window's values as the run reads them.
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
        m_w.ProgressBar1->setRange(0, static_cast<int>(std::min<qsizetype>(maximum, INT_MAX)));
    }
    void setProgress(qsizetype value) override
    {
        m_w.ProgressBar1->setValue(static_cast<int>(std::min<qsizetype>(value, INT_MAX)));
        if (m_blocker)
            m_blocker->pump();
    }

private:
    frmMail &m_w;
    InputBlocker *m_blocker;
};

} // namespace

bool frmMail::passesSendChecks()
{
    const SendCheck check = checkSendRun(ActiveAccount, sendList().count(), txtSubject->text(), bodyText());
    if (check != SendCheck::Ok)
        platform().messageBox(this, sendCheckMessage(check), kInformation, MsgIcon::Information, MsgButtons::Ok);
    switch (check) {
    case SendCheck::Account:
        if (m_ctx.openAccountDialog)
            m_ctx.openAccountDialog(this);
        return false;
    case SendCheck::EmptyList:
        openAddressBookBusy();
        return false;
    case SendCheck::EmptySubject:
        txtSubject->setFocus();
        return false;
    case SendCheck::EmptyBody:
        txtBody->setFocus();
        return false;
    case SendCheck::Ok:
        break;
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
    const AccountRecord &account = ActiveAccount;
    if (!passesSendChecks())
        return;

    platform().setBusy(true);
    SendRunResult result;
    {
        InputBlocker blocker;
        WindowSource source(*this, &blocker);
        SendRunEnvironment env;
        env.logPath = SentMailLog::pathIn(platform().programFolder());
        env.now = [this] { return platform().now(); };
        env.transport = transportOptions;
        try {
            result = runSend(account, sendList(), source, env);
        } catch (...) {
            result = SendRunResult();
            result.outcome = SendRunResult::Outcome::Failed;
        }
    }

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
    case Outcome::Completed:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    case Outcome::Failed:
        platform().messageBox(this, sendOutcomeMessage(result), kInformation, MsgIcon::Information, MsgButtons::Ok);
        ProgressBar1->setValue(0);
        break;
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
        BusyPointer busy(platform());  // attachments are read as it opens
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
