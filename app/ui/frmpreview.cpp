#include "frmpreview.h"

#include "account.h"
#include "appcontext.h"
#include "apptitle.h"
#include "certificate.h"
#include "charsetcheck.h"
#include "frmcertificate.h"
#include "messageview.h"
#include "offthread.h"
#include "platform.h"
#include "sendlist.h"
#include "settingsstore.h"

#include <QAction>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString bytesText(qsizetype bytes)
{
    return QLocale(QLocale::Japanese).toString(bytes) + QStringLiteral(" バイト");
}

QLineEdit *field(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    return e;
}

} // namespace

void askToSignInAgain(AppContext &ctx, QWidget *owner, const QString &text)
{
    const MsgAnswer a = ctx.platform->messageBox(
        owner, text + QStringLiteral("\n\nアカウントの設定を開いて、もう一度サインインしますか？"), appTitle(),
        MsgIcon::Question, MsgButtons::YesNo);
    if (a == MsgAnswer::Yes && ctx.openAccountDialog)
        ctx.openAccountDialog(owner);
}

bool showTestMessageResult(AppContext &ctx, QWidget *owner, const QString &address, const QString &reply,
                           UntrustedCertificateSink &untrusted)
{
    if (const std::optional<UntrustedCertificate> c = reply.isEmpty() ? std::nullopt : untrusted.take())
        return askAboutCertificateOfAccountInUse(ctx, owner, *c);
    if (needsNewSignIn(reply))
        askToSignInAgain(ctx, owner, QStringLiteral("テストメールを送信できませんでした。\n") + reply);
    else if (reply.isEmpty())
        ctx.platform->messageBox(owner, QStringLiteral("テストメールを %1 に送信しました。").arg(address),
                                 QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
    else
        ctx.platform->messageBox(owner, QStringLiteral("テストメールを送信できませんでした。\n") + reply, appTitle(),
                                 MsgIcon::Warning, MsgButtons::Ok);
    return false;
}

// Half-width katakana have no place in ISO-2022-JP: the user is told they
// go full-width.
static QString previewCharsetText(MailCharset charset)
{
    if (charset == MailCharset::Iso2022Jp)
        return QStringLiteral("文字コード: ISO-2022-JP（半角カナは全角で送ります）");
    return QStringLiteral("文字コード: ") + charsetName(charset);
}

frmPreview::frmPreview(AppContext &ctx, const AccountRecord &account, const OutgoingContent &content,
                       const TransportOptions &transport, QWidget *owner)
    : QDialog(owner), m_ctx(ctx), m_account(account), m_content(content), m_transport(transport), m_messages(content)
{
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("送信プレビュー"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(720, 620);

    txtFrom = field(this, "txtFrom");
    txtTo = field(this, "txtTo");
    txtSubject = field(this, "txtSubject");
    txtDate = field(this, "txtDate");
    txtUnsubscribe = field(this, "txtUnsubscribe");
    lblProblem = new QLabel(this);
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblProblem->setStyleSheet(QStringLiteral("color: #b00020;"));
    lblProblem->setWordWrap(true);
    lblProblem->hide();
    txtBody = new QPlainTextEdit(this);
    txtBody->setObjectName(QStringLiteral("txtBody"));
    txtBody->setReadOnly(true);
    lstAttachments = new QListWidget(this);
    lstAttachments->setObjectName(QStringLiteral("lstAttachments"));
    lstAttachments->setMaximumHeight(72);
    lblSize = new QLabel(this);
    lblSize->setObjectName(QStringLiteral("lblSize"));
    lblCharset = new QLabel(previewCharsetText(content.charset), this);
    lblCharset->setObjectName(QStringLiteral("lblCharset"));

    auto *grid = new QGridLayout;
    const QStringList captions = {QStringLiteral("差出人"), QStringLiteral("宛先"), QStringLiteral("件名"),
                                  QStringLiteral("日付")};
    const QList<QLineEdit *> fields = {txtFrom, txtTo, txtSubject, txtDate};
    for (int row = 0; row < fields.size(); ++row) {
        grid->addWidget(new QLabel(captions[row], this), row, 0);
        grid->addWidget(fields[row], row, 1);
    }
    grid->addWidget(new QLabel(QStringLiteral("添付ファイル"), this), 4, 0, Qt::AlignTop);
    grid->addWidget(lstAttachments, 4, 1);
    if (content.unsubscribe.on) {
        grid->addWidget(new QLabel(QStringLiteral("配信停止"), this), 5, 0);
        grid->addWidget(txtUnsubscribe, 5, 1);
    } else {
        txtUnsubscribe->hide();
    }
    grid->setColumnStretch(1, 1);

    cmdPrev = new QPushButton(QStringLiteral("←"), this);
    cmdPrev->setObjectName(QStringLiteral("cmdPrev"));
    cmdPrev->setToolTip(QStringLiteral("前の宛先"));
    spnEntry = new QSpinBox(this);
    spnEntry->setObjectName(QStringLiteral("spnEntry"));
    spnEntry->setRange(1,
                       static_cast<int>(std::max<qsizetype>(1, std::min<qsizetype>(ctx.sendList->count(), INT_MAX))));
    spnEntry->setAccelerated(true);
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    cmdNext = new QPushButton(QStringLiteral("→"), this);
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdNext->setToolTip(QStringLiteral("次の宛先"));
    cmdTest = new QPushButton(QStringLiteral("テスト送信(&T)"), this);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdTest->setToolTip(QStringLiteral("この宛先へのメールを、送信元のメールアドレスに送ります"));
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton *b : {cmdPrev, cmdNext, cmdTest, cmdClose})
        b->setAutoDefault(false);

    auto *nav = new QHBoxLayout;
    nav->addWidget(cmdPrev);
    nav->addWidget(spnEntry);
    nav->addWidget(lblCount);
    nav->addWidget(cmdNext);
    nav->addSpacing(16);
    nav->addWidget(lblSize);
    nav->addSpacing(16);
    nav->addWidget(lblCharset);
    nav->addStretch(1);
    nav->addWidget(cmdTest);
    nav->addWidget(cmdClose);

    auto *root = new QVBoxLayout(this);
    root->addLayout(grid);
    root->addWidget(lblProblem);
    root->addWidget(txtBody, 1);
    root->addLayout(nav);

    // ← and → move through the list wherever the focus is but in the number box.
    auto *prev = new QAction(this);
    prev->setShortcut(Qt::Key_Left);
    connect(prev, &QAction::triggered, this, &frmPreview::cmdPrev_Click);
    auto *next = new QAction(this);
    next->setShortcut(Qt::Key_Right);
    connect(next, &QAction::triggered, this, &frmPreview::cmdNext_Click);
    auto *help = new QAction(this);
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, [this] { openHelp(*m_ctx.platform, this, QStringLiteral("preview")); });
    addActions({prev, next, help});

    connect(cmdPrev, &QPushButton::clicked, this, &frmPreview::cmdPrev_Click);
    connect(cmdNext, &QPushButton::clicked, this, &frmPreview::cmdNext_Click);
    connect(spnEntry, &QSpinBox::valueChanged, this, &frmPreview::showEntry);
    connect(cmdTest, &QPushButton::clicked, this, &frmPreview::cmdTest_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    Form_Load();
    cmdNext->setFocus();
}

void frmPreview::Form_Load()
{
    SettingsStore &s = *m_ctx.settings;
    const auto left = s.singleValue(Setting::PreviewLeft);
    const auto top = s.singleValue(Setting::PreviewTop);
    if (left && top)
        move(twipsToPx(*left), twipsToPx(*top));
    showEntry(1);
}

void frmPreview::done(int result)
{
    m_ctx.settings->setValue(Setting::PreviewLeft, QString::number(pxToTwips(x())));
    m_ctx.settings->setValue(Setting::PreviewTop, QString::number(pxToTwips(y())));
    QDialog::done(result);
}

void frmPreview::showEntry(int number)
{
    const qsizetype count = m_ctx.sendList->count();
    if (count == 0 || number < 1 || number > count)
        return;
    if (spnEntry->value() != number) {
        spnEntry->setValue(number); // comes back here through valueChanged
        return;
    }
    lblCount->setText(QStringLiteral("%1 / %2").arg(number).arg(count));
    cmdPrev->setEnabled(number > 1);
    cmdNext->setEnabled(number < count);

    const OutgoingMessage m = m_messages.messageFor(m_ctx.sendList->entry(number - 1), m_ctx.platform->now());
    m_message = m.data;
    lblProblem->setVisible(!m.error.isEmpty());
    lblProblem->setText(QStringLiteral("この宛先には送信できません: ") + m.error);
    const MessageView v = viewMessage(m.data);
    txtFrom->setText(v.from);
    txtTo->setText(m.error.isEmpty() ? v.to : m_ctx.sendList->entry(number - 1).address);
    txtSubject->setText(v.subject);
    txtDate->setText(v.date);
    txtUnsubscribe->setText(v.unsubscribe);
    txtUnsubscribe->setCursorPosition(0); // the mailto: first
    txtBody->setPlainText(QString(v.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    lstAttachments->clear();
    for (const MessageView::Attachment &a : v.attachments)
        lstAttachments->addItem(QStringLiteral("%1（%2）").arg(a.fileName, bytesText(a.size)));
    lblSize->setText(m.error.isEmpty() ? QStringLiteral("メッセージのサイズ: ") + bytesText(v.size) : QString());
}

void frmPreview::cmdPrev_Click()
{
    showEntry(spnEntry->value() - 1);
}

void frmPreview::cmdNext_Click()
{
    showEntry(spnEntry->value() + 1);
}

void frmPreview::cmdTest_Click()
{
    const qsizetype index = spnEntry->value() - 1;
    if (index >= m_ctx.sendList->count())
        return;
    SendRunEnvironment env;
    env.transport = m_transport;
    env.transport.untrustedCertificates = std::make_shared<UntrustedCertificateSink>();
    env.now = [this] { return m_ctx.platform->now(); };
    QString reply;
    {
        BusyPointer busy(*m_ctx.platform);
        const SendList::Entry entry = m_ctx.sendList->entry(index);
        reply = waitOffThread<QString>(this, [&] { return sendTestMessage(m_account, m_content, entry, env); });
    }
    // The preview shows the account in use; the next test goes with its
    // newly trusted certificate or name.
    if (showTestMessageResult(m_ctx, this, m_account.szFrom, reply, *env.transport.untrustedCertificates))
        m_account = ActiveAccount;
}
