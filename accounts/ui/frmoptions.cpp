#include "frmoptions.h"

#include "aboutwindows.h"
#include "account.h"
#include "accountcheck.h"
#include "appcontext.h"
#include "apptitle.h"
#include "charsetfield.h"
#include "frmconnectiontest.h"
#include "platform.h"
#include "programfolder.h"
#include "sendwindowfield.h"
#include "settingsstore.h"
#include "signinpanel.h"
#include "textcodec.h"
#include "unsubscribepanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Shows every character of the password as "*", whatever the desktop style
// would use.
class StarPasswordStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

// Shows a value the checks changed; an unchanged field keeps its cursor.
void showChanged(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

QLabel *fieldLabel(const QString &caption, const char *name, QWidget *buddy, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

// 接続の保護: the entries in the order of ConnectionSecurity, the same for
// SMTP and POP3 (whose STLS is its STARTTLS).
QComboBox *securityChooser(const char *name, QWidget *parent)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->addItems({QStringLiteral("自動"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    c->setItemData(0,
                   QStringLiteral(
                       "サーバーが対応していれば STARTTLS で暗号化します（ポート 465 と 995 は最初から TLS）"),
                   Qt::ToolTipRole);
    c->setItemData(1, QStringLiteral("STARTTLS で暗号化します。対応していないサーバーには何も送りません"),
                   Qt::ToolTipRole);
    c->setItemData(2, QStringLiteral("最初から TLS で接続します"), Qt::ToolTipRole);
    return c;
}

ConnectionSecurity chosenSecurity(const QComboBox *c)
{
    return connectionSecurity(static_cast<qint16>(std::max(0, c->currentIndex())));
}

} // namespace

const QStringList &accountProfileNames()
{
    static const QStringList names = {QStringLiteral("アカウント(規定）"), QStringLiteral("サブ　アカウント１"),
                                      QStringLiteral("サブ　アカウント２"), QStringLiteral("サブ　アカウント３"),
                                      QStringLiteral("サブ　アカウント４")};
    return names;
}

QString accountTipTitle()
{
    return QStringLiteral("環境設定の方法...");
}

const QStringList &accountTips()
{
    static const QStringList tips = {
        QStringLiteral(
            "送信メールサーバー（SMTP)は、メールの送信用の設定です。お使いのメールソフトの設定を参照してください。"),
        QStringLiteral("サブミッションポート番号の規定値は２５です。"),
        QStringLiteral("アカウント名は、受信メールサーバーのメールアカウント名と同じ設定にします。"),
        QStringLiteral("パスワードは、受信メールサーバーのパスワードと同じ設定にします。"),
        QStringLiteral(
            "送信者名は、メールにつける差出人名です。漢字でもアルファベット（半角英数字）でもかまいません。"),
        QStringLiteral("送信元　メールアドレスは、メールアドレスを設定します。送信した相手が返信するときに必要です。"),
        QStringLiteral("本文の見出し署名を登録します。特に必要ない場合は空白にします。")};
    return tips;
}

frmOptions::frmOptions(AppContext &ctx, QWidget *owner) : QDialog(owner), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("メール送信　アカウント"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // Banner with the advice icon at its right end.
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setToolTip(QStringLiteral("環境設定の仕方"));
    Picture1->setAutoFillBackground(true);
    Picture1->setMinimumHeight(44);
    Picture1->setStyleSheet(QStringLiteral("QLabel#Picture1 { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                           " stop:0 #1f4e8c, stop:1 #8fb3e0); }"));
    auto *bannerText = new QLabel(appTitle(), Picture1);
    bannerText->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    QFont bannerFont = bannerText->font();
    bannerFont.setBold(true);
    bannerFont.setPointSizeF(bannerFont.pointSizeF() * 1.4);
    bannerText->setFont(bannerFont);
    bannerText->setAttribute(Qt::WA_TransparentForMouseEvents);

    Picture2 = new QToolButton(Picture1);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setToolTip(QStringLiteral("ワンポイントアドバイス"));
    Picture2->setAutoRaise(true);
    Picture2->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    Picture2->setIconSize(QSize(28, 28));
    Picture2->setCursor(Qt::PointingHandCursor);

    auto *banner = new QHBoxLayout(Picture1);
    banner->setContentsMargins(12, 4, 6, 4);
    banner->addWidget(bannerText);
    banner->addStretch(1);
    banner->addWidget(Picture2);

    // Profile chooser.
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Label6 = fieldLabel(QStringLiteral("送信アカウント(&A)"), "Label6", Combo1, this);

    // The rows of the account.
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setToolTip(QStringLiteral("サーバー名かIPアドレス"));
    Label3 = fieldLabel(QStringLiteral("送信メールサーバー") + QLatin1Char('\n') + QStringLiteral("（SMTP）(&T)"),
                        "Label3", Text1, Frame1);

    Text8 = new QLineEdit(Frame1);
    Text8->setObjectName(QStringLiteral("Text8"));
    Text8->setMinimumWidth(60);
    Text8->setMaximumWidth(90);
    Label9 = fieldLabel(QStringLiteral("サブミッションポート番号(&O)"), "Label9", Text8, Frame1);

    Combo2 = securityChooser("Combo2", Frame1);
    Label11 = fieldLabel(QStringLiteral("接続の保護(&L)"), "Label11", Combo2, Frame1);

    Check1 = new QCheckBox(QStringLiteral("SMTP－AUTH　認証が必要(&V)"), Frame1);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(QStringLiteral("この送信メールサーバーは（SMTP－AUTH）認証が必要"));
    Check2 = new QCheckBox(QStringLiteral("POP Before SMTP　認証が必要(&W)"), Frame1);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check2->setToolTip(QStringLiteral("この送信メールサーバーは（POP Before SMTP）認証が必要"));

    Text10 = new QLineEdit(Frame1);
    Text10->setObjectName(QStringLiteral("Text10"));
    Text10->setMinimumWidth(60);
    Text10->setMaximumWidth(90);
    Label12 = fieldLabel(QStringLiteral("POP3 ポート番号"), "Label12", Text10, Frame1);
    Combo3 = securityChooser("Combo3", Frame1);
    Label13 = fieldLabel(QStringLiteral("接続の保護"), "Label13", Combo3, Frame1);

    Text6 = new QLineEdit(Frame1);
    Text6->setObjectName(QStringLiteral("Text6"));
    Label7 = fieldLabel(QStringLiteral("アカウント名(&C)"), "Label7", Text6, Frame1);

    Text7 = new QLineEdit(Frame1);
    Text7->setObjectName(QStringLiteral("Text7"));
    auto *starStyle = new StarPasswordStyle(Text7->style()->name());
    starStyle->setParent(Text7);
    Text7->setStyle(starStyle);
    Text7->setEchoMode(QLineEdit::Password);
    Label8 = fieldLabel(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ(&P)"), "Label8", Text7, Frame1);

    Check3 = new QCheckBox(QStringLiteral("暗号化されていない接続でパスワードを送信する"), Frame1);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setToolTip(QStringLiteral("サーバーが暗号化（STARTTLS）に対応していないときだけ使われます。"
                                      "暗号化に対応したサーバーには、常に暗号化してから送信します。"));

    Text11 = new QLineEdit(Frame1);
    Text11->setObjectName(QStringLiteral("Text11"));
    Text11->setPlaceholderText(QStringLiteral("（なし：システムが信頼する認証局だけ）"));
    Text11->setToolTip(QStringLiteral("会社などが独自の認証局を使っている場合に、その証明書（PEM 形式）のファイルを"
                                      "指定します。"));
    Label14 = fieldLabel(QStringLiteral("信頼する証明書(&R)"), "Label14", Text11, Frame1);
    cmdCaFile = new QPushButton(QStringLiteral("参照..."), Frame1);
    cmdCaFile->setObjectName(QStringLiteral("cmdCaFile"));
    lblPinned = new QLabel(Frame1);
    lblPinned->setObjectName(QStringLiteral("lblPinned"));
    cmdForgetPins = new QPushButton(QStringLiteral("信頼を取り消す"), Frame1);
    cmdForgetPins->setObjectName(QStringLiteral("cmdForgetPins"));
    Charset = new CharsetField(Frame1);
    Unsubscribe = new UnsubscribePanel(Frame1);
    SignIn = new SignInPanel(ctx, Frame1);
    connect(SignIn, &SignInPanel::presetChosen, this, [this](const QString &host, int port) {
        Text1->setText(host);
        Text8->setText(QString::number(port));
        Check1->setChecked(true);
    });
    connect(SignIn, &SignInPanel::methodChosen, this, [this](bool oauth) {
        Text7->setEnabled(!oauth);
        Check3->setEnabled(!oauth);
    });
    connect(SignIn, &SignInPanel::signInFinished, this, [this](bool ok, const QString &address) {
        if (ok && !address.isEmpty())
            Text6->setText(address);
    });

    Text9 = new QSpinBox(Frame1);
    Text9->setObjectName(QStringLiteral("Text9"));
    Text9->setRange(0, 100000);
    Text9->setSpecialValueText(QStringLiteral("制限なし"));
    Text9->setToolTip(
        QStringLiteral("プロバイダーが１分あたりの送信数を制限している場合に設定します。0 は制限なしです。"));
    Text9->setMinimumWidth(90);
    Label10 = fieldLabel(QStringLiteral("1分あたりの最大送信数"), "Label10", Text9, Frame1);
    SendWindow = new SendWindowField(Frame1);
    connect(Text9, &QSpinBox::valueChanged, SendWindow, [this](int perMinute) { SendWindow->setPaced(perMinute > 0); });

    Text5 = new QLineEdit(Frame1);
    Text5->setObjectName(QStringLiteral("Text5"));
    Label5 = fieldLabel(QStringLiteral("送信者名(&N)"), "Label5", Text5, Frame1);

    Text2 = new QLineEdit(Frame1);
    Text2->setObjectName(QStringLiteral("Text2"));
    Label4 = fieldLabel(QStringLiteral("送信元メールアドレス(&M)"), "Label4", Text2, Frame1);

    Text4 = new QPlainTextEdit(Frame1);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setTabChangesFocus(true);
    Text4->setMinimumHeight(60);
    Label2 = fieldLabel(QStringLiteral("本文見出し(&B)"), "Label2", Text4, Frame1);

    Text3 = new QPlainTextEdit(Frame1);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setTabChangesFocus(true);
    Text3->setMinimumHeight(120);
    Label1 = fieldLabel(QStringLiteral("署名(&S)"), "Label1", Text3, Frame1);

    // Server with port, and account with password, share a row each.
    auto *serverRow = new QHBoxLayout;
    serverRow->addWidget(Text1, 1);
    serverRow->addSpacing(12);
    serverRow->addWidget(Label9);
    serverRow->addSpacing(4);
    serverRow->addWidget(Text8);
    auto *loginRow = new QHBoxLayout;
    loginRow->addWidget(Text6, 1);
    loginRow->addSpacing(12);
    loginRow->addWidget(Label8);
    loginRow->addSpacing(4);
    loginRow->addWidget(Text7, 1);
    Text1->setMinimumWidth(200);
    Text6->setMinimumWidth(120);
    Text7->setMinimumWidth(120);

    auto *securityRow = new QHBoxLayout;
    securityRow->addWidget(Combo2);
    securityRow->addStretch(1);
    auto *popRow = new QHBoxLayout;
    popRow->addWidget(Check2);
    popRow->addStretch(1);
    popRow->addWidget(Label12);
    popRow->addSpacing(4);
    popRow->addWidget(Text10);
    popRow->addSpacing(12);
    popRow->addWidget(Label13);
    popRow->addSpacing(4);
    popRow->addWidget(Combo3);
    auto *trustRow = new QHBoxLayout;
    trustRow->addWidget(Text11, 1);
    trustRow->addWidget(cmdCaFile);
    auto *pinnedRow = new QHBoxLayout;
    pinnedRow->addWidget(lblPinned);
    pinnedRow->addWidget(cmdForgetPins);
    pinnedRow->addStretch(1);

    auto *grid = new QGridLayout(Frame1);
    grid->setHorizontalSpacing(8);
    int row = 0;
    grid->addWidget(Label3, row, 0);
    grid->addLayout(serverRow, row++, 1);
    grid->addWidget(Label11, row, 0);
    grid->addLayout(securityRow, row++, 1);
    grid->addWidget(Check1, row++, 1);
    grid->addLayout(popRow, row++, 1);
    grid->addWidget(Label7, row, 0);
    grid->addLayout(loginRow, row++, 1);
    grid->addWidget(Check3, row++, 1);
    grid->addWidget(Label14, row, 0);
    grid->addLayout(trustRow, row++, 1);
    grid->addLayout(pinnedRow, row++, 1);
    auto *paceRow = new QHBoxLayout;
    paceRow->addWidget(Text9);
    paceRow->addSpacing(16);
    paceRow->addWidget(SendWindow);
    paceRow->addStretch(1);
    grid->addWidget(Label10, row, 0);
    grid->addLayout(paceRow, row++, 1);
    grid->addWidget(Label5, row, 0);
    grid->addWidget(Text5, row++, 1);
    grid->addWidget(Label4, row, 0);
    grid->addWidget(Text2, row++, 1);
    grid->addWidget(Charset->label(), row, 0);
    grid->addWidget(Charset, row++, 1);
    grid->addWidget(Label2, row, 0, Qt::AlignTop);
    grid->setRowStretch(row, 1);
    grid->addWidget(Text4, row++, 1);
    grid->addWidget(Label1, row, 0, Qt::AlignTop);
    grid->setRowStretch(row, 2);
    grid->addWidget(Text3, row++, 1);
    grid->addWidget(fieldLabel(QStringLiteral("認証方式"), "Label11", SignIn->cboAuthMethod, Frame1), row, 0,
                    Qt::AlignTop);
    grid->addWidget(SignIn, row++, 1);
    grid->addWidget(Unsubscribe->label(), row, 0, Qt::AlignTop);
    grid->addWidget(Unsubscribe, row++, 1);
    grid->setColumnStretch(1, 1);

    // Buttons. No default: Enter never saves by accident; Esc is Cancel.
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdApply = new QPushButton(QStringLiteral("更新(&U)"), this);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    Command1 = new QPushButton(QStringLiteral("ﾍﾙﾌﾟ(&H)"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    cmdTest = new QPushButton(QStringLiteral("接続テスト(&E)"), this);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdTest->setToolTip(
        QStringLiteral("入力中の設定でサーバーに接続し、暗号化とログインを確かめます。メールは送りません。"));
    for (QPushButton *b : {cmdOK, cmdCancel, cmdApply, Command1, cmdTest, cmdCaFile, cmdForgetPins}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *chooser = new QHBoxLayout;
    chooser->addWidget(Label6);
    chooser->addWidget(Combo1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdTest);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);
    buttons->addWidget(Command1);

    auto *root = new QVBoxLayout(this);
    root->addWidget(Picture1);
    root->addLayout(chooser);
    root->addWidget(Frame1, 1);
    root->addLayout(buttons);

    const QList<QWidget *> order = {Combo1,    Text1,         Text8,     Combo2,
                                    Check1,    Check2,        Text10,    Combo3,
                                    Text6,     Text7,         Check3,    Text11,
                                    cmdCaFile, cmdForgetPins, Text9,     SendWindow->spnSendWindow,
                                    Text5,     Text2,         Text4,     Text3,
                                    cmdTest,   cmdOK,         cmdCancel, cmdApply,
                                    Command1};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Combo1, &QComboBox::activated, this, &frmOptions::Combo1_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
    connect(Command1, &QPushButton::clicked, this, &frmOptions::Command1_Click);
    auto *f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &frmOptions::Command1_Click);
    connect(Picture2, &QToolButton::clicked, this, &frmOptions::Picture2_Click);
    // The POP3 server's settings matter only with POP before SMTP.
    auto popFieldsFollow = [this](bool on) {
        for (QWidget *w : {static_cast<QWidget *>(Label12), static_cast<QWidget *>(Text10),
                           static_cast<QWidget *>(Label13), static_cast<QWidget *>(Combo3)})
            w->setEnabled(on);
    };
    connect(Check2, &QCheckBox::toggled, this, popFieldsFollow);
    popFieldsFollow(false);
    connect(cmdTest, &QPushButton::clicked, this, &frmOptions::cmdTest_Click);
    connect(cmdCaFile, &QPushButton::clicked, this, &frmOptions::cmdCaFile_Click);
    connect(cmdForgetPins, &QPushButton::clicked, this, &frmOptions::cmdForgetPins_Click);

    Form_Load();
}

void frmOptions::showAccount()
{
    const AccountRecord &a = ActiveAccount;
    m_shown = a;
    Text1->setText(a.szServer);
    Text2->setText(a.szFrom);
    Text3->setPlainText(toLf(a.Signature));
    Text4->setPlainText(toLf(a.BodyHeader));
    Text5->setText(a.szFromName);
    Text6->setText(a.User);
    Text7->setText(a.UserPass);
    Text8->setText(a.szPort);
    Check1->setChecked(a.Check1V == 1);
    Check2->setChecked(a.Check2V == 1);
    Check3->setChecked(a.Check3V == 1);
    Text9->setValue(a.MaxPerMinute);
    SendWindow->setValue(a.SendWindow);
    SendWindow->setPaced(a.MaxPerMinute > 0);
    Combo2->setCurrentIndex(int(a.SmtpSecurity));
    Text10->setText(a.Pop3Port);
    Combo3->setCurrentIndex(int(a.Pop3Security));
    Text11->setText(a.CaFile);
    m_pinnedKeys = a.PinnedKeys;
    m_sizeLimit = a.SmtpSizeLimit;
    m_sizeLimitOf = serverKey();
    showPinned();
    SignIn->showAccount(a);
    Charset->setCharset(a.Charset);
    Unsubscribe->showAccount(a);
}

void frmOptions::showPinned()
{
    const qsizetype n = m_pinnedKeys.split(QLatin1Char(';'), Qt::SkipEmptyParts).size();
    lblPinned->setText(n == 0 ? QStringLiteral("このアカウントで信頼した証明書はありません。")
                              : QStringLiteral("このアカウントで信頼した証明書: %1 件").arg(n));
    cmdForgetPins->setEnabled(n > 0);
}

QString frmOptions::serverKey() const
{
    return trimBlanks(Text1->text()) + QLatin1Char(':') + trimBlanks(narrowWidth(Text8->text()));
}

void frmOptions::Form_Load()
{
    showAccount();
    Combo1->clear();
    Combo1->addItems(accountProfileNames());
    const qint16 n = ActiveAccount.Account;
    Combo1->setCurrentIndex(n >= 0 && n <= 4 ? n : -1);
}

void frmOptions::Combo1_Click()
{
    const int n = accountProfileNames().indexOf(Combo1->currentText());
    if (n >= 0) {
        ActiveAccount.Account = static_cast<qint16>(n);
        LoadAccountProfile(*m_ctx.settings, ActiveAccount.Account);
    } else {
        ActiveAccount.Account = 0;
    }
    // Unsaved edits of the previous profile are dropped.
    showAccount();
}

AccountEntry frmOptions::entry() const
{
    AccountEntry e;
    e.server = Text1->text();
    e.port = Text8->text();
    e.smtpAuth = Check1->isChecked();
    e.popBeforeSmtp = Check2->isChecked();
    e.user = Text6->text();
    e.password = Text7->text();
    e.plainPassword = Check3->isChecked();
    e.maxPerMinute = Text9->value();
    e.fromName = Text5->text();
    e.from = Text2->text();
    e.bodyHeader = Text4->toPlainText();
    e.signature = Text3->toPlainText();
    e.smtpSecurity = chosenSecurity(Combo2);
    e.pop3Port = Text10->text();
    e.pop3Security = chosenSecurity(Combo3);
    e.caFile = Text11->text();
    e.pinnedKeys = m_pinnedKeys;
    e.smtpSizeLimit = serverKey() == m_sizeLimitOf ? m_sizeLimit : 0;
    SignIn->fillEntry(e);
    e.charset = Charset->charset();
    // Kept as they were: no field shows them here.
    e.sendWindow = SendWindow->value();
    e.smtpConnections = m_shown.SmtpConnections;
    Unsubscribe->fillEntry(e);
    return e;
}

bool frmOptions::checkFields(AccountEntry &e, AccountSaveButton button)
{
    const AccountFault fault = checkAccountEntry(e, button);
    // Cleared placeholders and the narrowed address show even when refused.
    showChanged(Text1, e.server);
    showChanged(Text5, e.fromName);
    showChanged(Text2, e.from);
    showChanged(Text6, e.user);
    showChanged(Text8, e.port);
    showChanged(Text10, e.pop3Port);
    showChanged(Text11, e.caFile);
    if (fault.ok()) {
        const QString problem = Unsubscribe->problem();
        if (problem.isEmpty())
            return true;
        m_ctx.platform->messageBox(this, problem, QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    m_ctx.platform->messageBox(this, fault.message, QStringLiteral("Information"), MsgIcon::Information,
                               MsgButtons::Ok);
    // The user goes on where the fault is.
    const QHash<AccountField, QLineEdit *> boxes = {{AccountField::Server, Text1},    {AccountField::FromName, Text5},
                                                    {AccountField::From, Text2},      {AccountField::User, Text6},
                                                    {AccountField::Password, Text7},  {AccountField::Port, Text8},
                                                    {AccountField::Pop3Port, Text10}, {AccountField::CaFile, Text11}};
    if (QLineEdit *box = boxes.value(fault.field))
        box->setFocus();
    else if (fault.field == AccountField::OAuthClient)
        SignIn->txtClientId->setFocus();
    else if (fault.field == AccountField::OAuthEndpoints)
        SignIn->txtAuthUrl->setFocus();
    return false;
}

bool frmOptions::validateAndSave(bool fromOk)
{
    AccountEntry e = entry();
    if (!checkFields(e, fromOk ? AccountSaveButton::Ok : AccountSaveButton::Apply))
        return false;
    // Account stays the profile last chosen (or the one the dialog opened with).
    storeAccountEntry(e, ActiveAccount);
    SaveActiveAccount(*m_ctx.settings);
    return true;
}

void frmOptions::cmdOK_Click()
{
    if (validateAndSave(true))
        accept();
}

void frmOptions::cmdApply_Click()
{
    validateAndSave(false);
}

void frmOptions::cmdCancel_Click()
{
    reject();
}

void frmOptions::Command1_Click()
{
    openHelp(*m_ctx.platform, this, QStringLiteral("accounts"));
}

void frmOptions::Picture2_Click()
{
    showTipWindow(m_ctx, accountTipTitle(), accountTips());
}

// The fields as typed, tried against the servers; nothing is saved. What
// the test learned (a trusted key, the certificate's name, the SIZE limit)
// goes with the account when it is saved.
void frmOptions::cmdTest_Click()
{
    AccountEntry e = entry();
    if (!checkFields(e, AccountSaveButton::Apply))
        return;
    AccountRecord account = ActiveAccount;
    storeAccountEntry(e, account);
    frmConnectionTest test(m_ctx, account, this);
    m_ctx.platform->showModal(&test);
    const AccountRecord &after = test.account();
    showChanged(Text1, after.szServer);
    m_pinnedKeys = after.PinnedKeys;
    showPinned();
    if (test.result() && test.result()->smtpSizeLimit) {
        m_sizeLimit = *test.result()->smtpSizeLimit;
        m_sizeLimitOf = serverKey();
    }
}

void frmOptions::cmdCaFile_Click()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("信頼する証明書");
    spec.filters = {{QStringLiteral("証明書 (*.pem *.crt *.cer)"), QStringLiteral("*.pem *.crt *.cer")},
                    {QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*")}};
    spec.fileName = Text11->text();
    spec.mustExist = true;
    const FileDialogResult r = m_ctx.platform->openFileDialog(this, spec);
    if (!r.cancelled && !r.files.isEmpty())
        Text11->setText(r.files.first());
}

void frmOptions::cmdForgetPins_Click()
{
    m_pinnedKeys.clear();
    showPinned();
}
