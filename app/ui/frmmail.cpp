#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
#include "platform.h"
#include "programfolder.h"
#include "runlock.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "textcodec.h"
#include "toolbaricons.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Design size and the top block of the frame (subject, lists, options).
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 600;
// Every control and the status texts stay whole down to this size.
constexpr int kMinimumWidth = 640;
constexpr int kMinimumHeight = 480;

} // namespace

frmMail::frmMail(AppContext &ctx, QWidget *parent) : QMainWindow(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmMail"));
    setWindowTitle(appTitle());
    resize(kDesignWidth, kDesignHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    // An OAuth 2.0 account's sign-in is kept beside the window's settings.
    if (ctx.settings)
        transportOptions.settingsFile = ctx.settings->fileName();
    buildControls();
    buildMenus();
    buildToolBar();
    buildStatusBar();
    Form_Load();
}

frmMail::~frmMail() = default;

Platform &frmMail::platform()
{
    return *m_ctx.platform;
}
SettingsStore &frmMail::settings()
{
    return *m_ctx.settings;
}
SendList &frmMail::sendList()
{
    return *m_ctx.sendList;
}

void frmMail::refreshClock()
{
    const QDateTime now = platform().now();
    sbPanel2->setText(now.toString(QStringLiteral("yyyy/MM/dd")));
    sbPanel3->setText(now.toString(QStringLiteral("H:mm")));
}

QString frmMail::bodyText() const
{
    // The widget keeps LF; the body as sent and saved has CR LF.
    return toCrLf(txtBody->toPlainText());
}

void frmMail::setBodyText(const QString &text)
{
    txtBody->setPlainText(toLf(text));
    // setPlainText on identical empty text may not signal; a set is a change.
    BodyChanged = true;
}

QString frmMail::initialBody() const
{
    return ActiveAccount.BodyHeader + QStringLiteral("\r\n") + ActiveAccount.Signature;
}

void frmMail::Form_Load()
{
    // Each step stands alone: a value that is missing or not a number leaves
    // the design value.
    int left = x(), top = y();
    if (const auto v = settings().singleValue(Setting::MainLeft))
        left = twipsToPx(*v);
    if (const auto v = settings().singleValue(Setting::MainTop))
        top = twipsToPx(*v);
    move(left, top);
    if (const auto v = settings().int16Value(Setting::MainWindowState)) {
        if (*v == 1)
            setWindowState(Qt::WindowMinimized);
        else if (*v == 2)
            setWindowState(Qt::WindowMaximized);
        else if (*v == 0)
            setWindowState(Qt::WindowNoState);
    }
    if (const auto v = settings().int16Value(Setting::NameAttention))
        Check1->setChecked(*v != 0);
    if (const auto v = settings().int16Value(Setting::HonorificAttention))
        Check2->setChecked(*v != 0);

    LoadActiveAccount(settings());
    AccountUnset = accountNotConfigured(ActiveAccount);
}

void frmMail::showAccountState()
{
    // An empty body, or one still as this window filled it in, takes the
    // body header and signature of the account as it is now (the first
    // account set up, a header changed in the account dialog).
    if (bodyText().isEmpty() || (!BodyChanged && bodyText() == m_filledBody && initialBody() != m_filledBody)) {
        setBodyText(initialBody());
        m_filledBody = bodyText();
        BodyChanged = false;
    }
    Text1->setText(QString::number(sendList().count()));
    if (ActiveAccount.Account >= 0 && ActiveAccount.Account <= 4)
        sbPanel1->setText(accountStatusLine(ActiveAccount));
}

void frmMail::Form_Activate()
{
    if (m_inActivate)
        return;
    m_inActivate = true;
    showAccountState();

    if (AccountUnset) {
        // Cleared before asking, so the question comes once per run even if
        // the account dialog re-activates this window.
        AccountUnset = false;
        m_resumeOffered = true; // an account is set up first
        const MsgAnswer a = platform().messageBox(
            this, QStringLiteral("メール送信　アカウントが設定されていません。登録を行いますか？"),
            QStringLiteral("環境設定"), MsgIcon::Information, MsgButtons::YesNoCancel);
        if (a == MsgAnswer::Yes && m_ctx.openAccountDialog) {
            m_inActivate = false;
            openAccounts();
            return;
        }
    }
    // Once per start: a run that ended early.
    if (!m_resumeOffered) {
        m_resumeOffered = true;
        m_inActivate = false;
        offerResume();
        return;
    }
    m_inActivate = false;
}

bool frmMail::Form_QueryUnload()
{
    if (!BodyChanged)
        return true;
    const MsgAnswer a = platform().messageBox(this, QStringLiteral("本文は変更されています。ファイルに保存しますか？"),
                                              QStringLiteral("ファイルに保存"), MsgIcon::Information,
                                              MsgButtons::YesNoCancel);
    if (a == MsgAnswer::Cancel)
        return false;
    if (a == MsgAnswer::Yes) {
        mnuFileSaveAs_Click();
        // A cancelled or failed save keeps the window and the edits.
        return !BodyChanged;
    }
    return true;
}

void frmMail::Form_Unload()
{
    // Other windows first, the most recently opened first.
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (auto it = tops.crbegin(); it != tops.crend(); ++it)
        if (*it != this && (*it)->isVisible())
            (*it)->close();

    const bool minimised = windowState() & Qt::WindowMinimized;
    if (!minimised) {
        settings().setValue(Setting::MainLeft, QString::number(pxToTwips(x())));
        settings().setValue(Setting::MainTop, QString::number(pxToTwips(y())));
    }
    settings().setValue(Setting::NameAttention, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    settings().setValue(Setting::HonorificAttention, Check2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    if (!minimised) {
        const int state = (windowState() & Qt::WindowMaximized) ? 2 : 0;
        settings().setValue(Setting::MainWindowState, QString::number(state));
    }
    settings().sync();
}

void frmMail::closeEvent(QCloseEvent *event)
{
    // A run in progress: stop it (after the message in flight) and close
    // once it has ended.
    if (isRunning()) {
        event->ignore();
        if (platform().messageBox(this, QStringLiteral("送信中です。送信を中止しますか？"),
                                  QStringLiteral("送信の中止"), MsgIcon::Question, MsgButtons::YesNo)
                == MsgAnswer::Yes
            && isRunning()) {
            m_closeAfterRun = true;
            if (!m_run->stopRequested())
                cmdStop_Click();
        }
        return;
    }
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

bool frmMail::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        Label1_Click();
        return true;
    }
    // Not taken by the text field as "select all", Ctrl+A reaches the menu.
    if ((watched == txtSubject || watched == txtBody) && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->keyCombination() == QKeyCombination(Qt::CTRL | Qt::Key_A)) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMail::mnuFileSend_Click()
{
    Command1_Click();
}

void frmMail::mnuFileExit_Click()
{
    close();
}

void frmMail::editFocused(EditCommand command)
{
    // The menu and the tool bar act on whichever text field has the focus.
    QWidget *focus = QApplication::focusWidget();
    if (auto *e = qobject_cast<QLineEdit *>(focus)) {
        switch (command) {
        case EditCommand::Undo: e->undo(); break;
        case EditCommand::Cut: e->cut(); break;
        case EditCommand::Copy: e->copy(); break;
        case EditCommand::Paste: e->paste(); break;
        }
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(focus)) {
        switch (command) {
        case EditCommand::Undo: t->undo(); break;
        case EditCommand::Cut: t->cut(); break;
        case EditCommand::Copy: t->copy(); break;
        case EditCommand::Paste: t->paste(); break;
        }
    }
}

void frmMail::mnuViewToolbar_Click()
{
    // The action has already toggled its check mark.
    tbToolBar->setVisible(mnuViewToolbar->isChecked());
}

void frmMail::mnuViewStatusBar_Click()
{
    sbStatusBar->setVisible(mnuViewStatusBar->isChecked());
}

void frmMail::mnuViewRefresh_Click()
{
    txtBody->viewport()->update();
}

void frmMail::openAddressBookBusy()
{
    // The address book restores the pointer when it activates.
    platform().setBusy(true);
    if (m_ctx.openAddressBook)
        m_ctx.openAddressBook(this);
    else
        platform().setBusy(false);
}

void frmMail::mnuLogFile_Click()
{
    platform().setBusy(true);
    if (m_ctx.openLogViewer)
        m_ctx.openLogViewer(this);
    else
        platform().setBusy(false);
}

void frmMail::mnuInport_Click()
{
    openAddressBookBusy();
}

void frmMail::mnuInportKill_Click()
{
    sendList().clear();
    Text1->setText(QString());
}

void frmMail::mnuToolsOptions_Click()
{
    openAccounts();
}

void frmMail::mnuToolsInbox_Click()
{
    if (m_ctx.openInboxWindow)
        m_ctx.openInboxWindow(this);
}

void frmMail::openAccounts()
{
    if (!m_ctx.openAccountDialog)
        return;
    m_ctx.openAccountDialog(this);
    showAccountState();
}

void frmMail::mnuHelpContents_Click()
{
    openHelp(platform(), this);
}

void frmMail::mnuOnline_Click()
{
    openHelp(platform(), this, QStringLiteral("support"));
}

void frmMail::mnuHelpAbout_Click()
{
    if (m_ctx.openAbout)
        m_ctx.openAbout(this);
}

void frmMail::tbToolBar_ButtonClick(const QString &key)
{
    if (key == QStringLiteral("送信"))
        Command1_Click();
    else if (key == QStringLiteral("プレビュー"))
        mnuFilePreview_Click();
    else if (key == QStringLiteral("宛先検索"))
        openAddressBookBusy();
    else if (key == QStringLiteral("添付ファイル"))
        mnuTempOpen_Click();
    else if (key == QStringLiteral("切り取り"))
        editFocused(EditCommand::Cut);
    else if (key == QStringLiteral("コピー"))
        editFocused(EditCommand::Copy);
    else if (key == QStringLiteral("貼り付け"))
        editFocused(EditCommand::Paste);
    else if (key == QStringLiteral("元に戻す"))
        editFocused(EditCommand::Undo);
    else if (key == QStringLiteral("送信ｱｶｳﾝﾄ"))
        mnuToolsOptions_Click();
}

void frmMail::Label1_Click()
{
    // Modal like every other opening of the address book; the busy pointer
    // is harmless here and keeps the address book's restore balanced.
    openAddressBookBusy();
}
