#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
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
    WindowSource(frmMail &w, InputBlocker &blocker) : m_w(w), m_blocker(blocker) {}
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
        m_blocker.pump();
    }

private:
    frmMail &m_w;
    InputBlocker &m_blocker;
};

} // namespace

// The send command.
void frmMail::Command1_Click()
{
    const AccountRecord &account = ActiveAccount;
    switch (checkSendRun(account, sendList().count(), txtSubject->text(), bodyText())) {
    case SendCheck::Account:
        platform().messageBox(this, QStringLiteral("メールサーバー情報に誤りがあります。"), kInformation,
                              MsgIcon::Information, MsgButtons::Ok);
        if (m_ctx.openAccountDialog)
            m_ctx.openAccountDialog(this);
        return;
    case SendCheck::EmptyList:
        platform().messageBox(this, QStringLiteral("送信する宛先が入力されていません。"), kInformation,
                              MsgIcon::Information, MsgButtons::Ok);
        openAddressBookBusy();
        return;
    case SendCheck::EmptySubject:
        platform().messageBox(this, QStringLiteral("件名が入力されていません。"), kInformation,
                              MsgIcon::Information, MsgButtons::Ok);
        txtSubject->setFocus();
        return;
    case SendCheck::EmptyBody:
        platform().messageBox(this, QStringLiteral("本文が力されていません。"), kInformation,
                              MsgIcon::Information, MsgButtons::Ok);
        txtBody->setFocus();
        return;
    case SendCheck::Ok:
        break;
    }

    platform().setBusy(true);
    SendRunResult result;
    {
        InputBlocker blocker;
        WindowSource source(*this, blocker);
        SendRunEnvironment env;
        env.logPath = SentMailLog::pathIn(platform().programFolder());
        env.now = [this] { return platform().now(); };
        try {
            result = runSend(account, sendList(), source, env);
        } catch (...) {
            result = SendRunResult();
            result.outcome = SendRunResult::Outcome::Failed;
        }
    }

    using Outcome = SendRunResult::Outcome;
    switch (result.outcome) {
    case Outcome::PopLoginFailed:
        platform().setBusy(false);
        platform().messageBox(this, QStringLiteral("POP Before SMTP 認証エラー ") + result.text, appTitle(),
                              MsgIcon::Warning, MsgButtons::Ok);
        return;
    case Outcome::Aborted:
        platform().setBusy(false);
        platform().messageBox(this, QStringLiteral("メールサーバーに接続できません。") + result.text, appTitle(),
                              MsgIcon::None, MsgButtons::Ok);
        return;
    case Outcome::Completed:
        platform().setBusy(false);
        platform().messageBox(this, QString::number(result.accepted) + QStringLiteral("件の送信を完了しました。"),
                              kInformation, MsgIcon::Information, MsgButtons::Ok);
        break;
    case Outcome::Failed:
        platform().setBusy(false);
        platform().messageBox(this,
                              QStringLiteral("送信処理中にエラーが発生しました。サーバー情報を確認してください。"),
                              kInformation, MsgIcon::Information, MsgButtons::Ok);
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
