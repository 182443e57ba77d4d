#include "frminbox.h"

#include "account.h"
#include "appcontext.h"
#include "localclock.h"
#include "platform.h"
#include "settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("エラーメール・配信停止の処理");
const QString kInformation = QStringLiteral("Information");

QString accountChoiceText(const AccountRecord &a)
{
    const QString label = accountStatusLabel(a.Account).trimmed();
    if (accountNotConfigured(a) || a.szServer.trimmed().isEmpty())
        return label + QStringLiteral("（未設定）");
    const QString user = a.OAuth2 ? a.OAuthSignedIn : a.User;
    return QStringLiteral("%1（%2%3）")
        .arg(label, user.isEmpty() ? QString() : user + QStringLiteral(" / "), a.szServer.trimmed());
}

} // namespace

void showInboxWindow(AppContext &ctx, QWidget *owner)
{
    frmInbox window(ctx, owner);
    ctx.platform->showModal(&window);
}

frmInbox::frmInbox(AppContext &ctx, QWidget *owner) : QDialog(owner), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmInbox"));
    setWindowTitle(kTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(900, 560);

    auto *lblAccount = new QLabel(QStringLiteral("アカウント(&A)"), this);
    cboAccount = new QComboBox(this);
    cboAccount->setObjectName(QStringLiteral("cboAccount"));
    lblAccount->setBuddy(cboAccount);
    for (qint16 n = 0; n < 5; ++n) {
        AccountRecord a;
        a.Account = n;
        readAccountProfile(*m_ctx.settings, n, a);
        cboAccount->addItem(accountChoiceText(a), int(n));
    }
    cboAccount->setCurrentIndex(ActiveAccount.Account >= 0 && ActiveAccount.Account < 5 ? ActiveAccount.Account : 0);
    chkDelete = new QCheckBox(QStringLiteral("処理したメールをサーバーから削除する"), this);
    chkDelete->setObjectName(QStringLiteral("chkDelete"));
    chkDelete->setToolTip(QStringLiteral("エラーメール・配信停止の依頼・遅延の通知だけを削除します。"
                                         "ほかのメールはサーバーに残します。"));
    cmdStart = new QPushButton(QStringLiteral("読み取り開始(&S)"), this);
    cmdStart->setObjectName(QStringLiteral("cmdStart"));
    cmdStop = new QPushButton(QStringLiteral("中止(&T)"), this);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdStop->setEnabled(false);
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton *b : {cmdStart, cmdStop, cmdClose})
        b->setAutoDefault(false);
    cmdStart->setDefault(true);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    lblStatus = new QLabel(QStringLiteral("アカウントを選んで［読み取り開始］を押してください。"), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);

    lstEntries = new QTreeWidget(this);
    lstEntries->setObjectName(QStringLiteral("lstEntries"));
    lstEntries->setHeaderLabels({QStringLiteral("メールアドレス"), QStringLiteral("理由"), QStringLiteral("日付")});
    lstEntries->setRootIsDecorated(false);
    lstEntries->setUniformRowHeights(true);
    lstEntries->setAlternatingRowColors(true);
    lstEntries->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstEntries->header()->setStretchLastSection(false);
    lstEntries->header()->setSectionResizeMode(ColAddress, QHeaderView::Interactive);
    lstEntries->header()->setSectionResizeMode(ColReason, QHeaderView::Stretch);
    lstEntries->header()->setSectionResizeMode(ColDate, QHeaderView::ResizeToContents);
    lstEntries->setColumnWidth(ColAddress, 240);

    lblCounts = new QLabel(this);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    lblCounts->setTextFormat(Qt::PlainText);
    lblCounts->setWordWrap(true);
    lblCounts->setTextInteractionFlags(Qt::TextSelectableByMouse);

    connect(cmdStart, &QPushButton::clicked, this, &frmInbox::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmInbox::cmdStop_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmInbox::cmdClose_Click);
    // F1: this window's section of the help.
    auto *f1 = new QAction(this);
    f1->setShortcut(QKeySequence::HelpContents);
    connect(f1, &QAction::triggered, this, [this] { openHelp(platform(), this, QStringLiteral("inbox")); });
    addAction(f1);

    auto *top = new QGridLayout;
    top->addWidget(lblAccount, 0, 0);
    top->addWidget(cboAccount, 0, 1);
    top->addWidget(cmdStart, 0, 2);
    top->addWidget(chkDelete, 1, 1);
    top->addWidget(cmdStop, 1, 2);
    top->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto *root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addWidget(ProgressBar1);
    root->addWidget(lblStatus);
    root->addWidget(lstEntries, 1);
    root->addWidget(lblCounts);
    root->addLayout(buttons);
}

frmInbox::~frmInbox() = default;

Platform &frmInbox::platform()
{
    return *m_ctx.platform;
}

bool frmInbox::isRunning() const
{
    return m_run && m_run->isRunning();
}

void frmInbox::cmdStart_Click()
{
    if (isRunning())
        return;
    AccountRecord a;
    a.Account = static_cast<qint16>(cboAccount->currentData().toInt());
    readAccountProfile(*m_ctx.settings, a.Account, a);
    if (accountNotConfigured(a) || a.szServer.trimmed().isEmpty()) {
        platform().messageBox(this, QStringLiteral("メールサーバー情報に誤りがあります。"), kInformation,
                              MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    InboxJob job = inboxJobFor(*m_ctx.settings, a, platform().programFolder(), platform().now().date());
    job.options.deleteClassified = chkDelete->isChecked();

    lstEntries->clear();
    lblCounts->clear();
    lblStatus->setStyleSheet(QString());
    lblStatus->setText(QStringLiteral("%1 に接続しています…").arg(a.szServer.trimmed()));
    ProgressBar1->setRange(0, 0); // busy until the count of new messages is known
    m_result.reset();
    m_run = std::make_unique<InboxRun>(std::move(job));
    connect(m_run.get(), &InboxRun::entry, this, &frmInbox::addEntry);
    connect(m_run.get(), &InboxRun::progress, this, &frmInbox::showProgress);
    connect(m_run.get(), &InboxRun::finished, this, &frmInbox::runFinished);
    setRunning(true);
    m_run->start();
}

void frmInbox::cmdStop_Click()
{
    if (!isRunning())
        return;
    m_run->requestStop();
    cmdStop->setEnabled(false);
    lblStatus->setText(QStringLiteral("読み取り中のメールが終わったところで中止します…"));
}

void frmInbox::cmdClose_Click()
{
    close();
}

void frmInbox::reject()
{
    if (!holdCloseForRun())
        QDialog::reject();
}

void frmInbox::closeEvent(QCloseEvent *event)
{
    if (holdCloseForRun()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool frmInbox::holdCloseForRun()
{
    if (!isRunning())
        return false;
    m_closeAfterRun = true;
    m_run->stopNow();
    lblStatus->setText(QStringLiteral("中止しています…"));
    return true;
}

void frmInbox::setRunning(bool running)
{
    cmdStart->setEnabled(!running);
    cboAccount->setEnabled(!running);
    chkDelete->setEnabled(!running);
    cmdStop->setEnabled(running);
}

void frmInbox::addEntry(const InboxEntry &e)
{
    auto *item = new QTreeWidgetItem(lstEntries);
    item->setText(ColAddress, e.address.isEmpty() ? QStringLiteral("-") : e.address);
    item->setText(ColReason, e.reason);
    item->setText(ColDate, e.date);
    item->setToolTip(ColReason, e.reason);
    lstEntries->scrollToItem(item);
}

void frmInbox::showProgress(int done, int total)
{
    ProgressBar1->setRange(0, std::max(total, 1));
    ProgressBar1->setValue(done);
    lblStatus->setText(total == 0
                           ? QStringLiteral("新しいメールはありません。")
                           : QStringLiteral("新しいメール %1 通のうち %2 通を処理しました。").arg(total).arg(done));
}

void frmInbox::runFinished()
{
    m_result = std::make_unique<InboxResult>(m_run->result());
    m_run.reset();
    setRunning(false);
    const InboxResult &r = *m_result;
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(r.failure == InboxFailure::None ? 1 : 0);
    lblCounts->setText(r.csvError.isEmpty() ? inboxCountsText(r) : inboxCountsText(r) + QLatin1Char('\n') + r.csvError);
    if (r.failure == InboxFailure::None) {
        lblStatus->setStyleSheet(QStringLiteral("color: #1a7f37; font-weight: bold;"));
        lblStatus->setText(r.read == 0 ? QStringLiteral("新しいメールはありませんでした。")
                                       : QStringLiteral("メールボックスを最後まで読みました。"));
    } else {
        lblStatus->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
        lblStatus->setText(inboxFailureText(r));
    }
    emit runEnded();
    if (std::exchange(m_closeAfterRun, false))
        QDialog::reject();
}
