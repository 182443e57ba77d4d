#include "signinpanel.h"

#include "account.h"
#include "accountcheck.h"
#include "appcontext.h"
#include "keyring.h"
#include "loopbacksignin.h"
#include "platform.h"
#include "settingsstore.h"
#include "signin.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace {

const OAuthProvider kProviders[] = {OAuthProvider::Microsoft, OAuthProvider::Google, OAuthProvider::Other};

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

} // namespace

SignInPanel::SignInPanel(AppContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("SignInPanel"));
    cboAuthMethod = new QComboBox(this);
    cboAuthMethod->setObjectName(QStringLiteral("cboAuthMethod"));
    cboAuthMethod->addItems({QStringLiteral("パスワード"), QStringLiteral("OAuth 2.0")});
    cboAuthMethod->setToolTip(QStringLiteral("Microsoft 365 や Google Workspace では OAuth 2.0 を選びます。"));

    m_oauthRows = new QWidget(this);
    cboProvider = new QComboBox(m_oauthRows);
    cboProvider->setObjectName(QStringLiteral("cboProvider"));
    for (OAuthProvider p : kProviders)
        cboProvider->addItem(oauthProviderLabel(p));
    txtClientId = lineEdit("txtClientId", m_oauthRows);
    txtClientId->setToolTip(QStringLiteral("管理者がプロバイダーにアプリケーションを登録したときのクライアント ID"));
    txtClientSecret = lineEdit("txtClientSecret", m_oauthRows);
    txtClientSecret->setEchoMode(QLineEdit::Password);
    txtClientSecret->setToolTip(
        QStringLiteral("プロバイダーがデスクトップアプリにも発行する場合だけ入力します（Google など）"));
    txtTenant = lineEdit("txtTenant", m_oauthRows);
    txtTenant->setPlaceholderText(QStringLiteral("organizations"));
    txtTenant->setToolTip(QStringLiteral("テナント ID またはドメイン名（例: example.onmicrosoft.com）"));
    txtAuthUrl = lineEdit("txtAuthUrl", m_oauthRows);
    txtTokenUrl = lineEdit("txtTokenUrl", m_oauthRows);
    txtDeviceUrl = lineEdit("txtDeviceUrl", m_oauthRows);
    txtDeviceUrl->setPlaceholderText(QStringLiteral("なければ空欄"));
    txtScope = lineEdit("txtScope", m_oauthRows);
    cmdSignIn = new QPushButton(QStringLiteral("サインイン"), m_oauthRows);
    cmdSignIn->setObjectName(QStringLiteral("cmdSignIn"));
    cmdSignIn->setAutoDefault(false);
    lblSignedIn = new QLabel(m_oauthRows);
    lblSignedIn->setObjectName(QStringLiteral("lblSignedIn"));
    lblSignedIn->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout(m_oauthRows);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("プロバイダー"), cboProvider);
    form->addRow(QStringLiteral("クライアント ID"), txtClientId);
    form->addRow(QStringLiteral("クライアントシークレット"), txtClientSecret);
    form->addRow(QStringLiteral("テナント"), txtTenant);
    form->addRow(QStringLiteral("認証エンドポイント"), txtAuthUrl);
    form->addRow(QStringLiteral("トークンエンドポイント"), txtTokenUrl);
    form->addRow(QStringLiteral("デバイス認証エンドポイント"), txtDeviceUrl);
    form->addRow(QStringLiteral("スコープ"), txtScope);
    auto *signInRow = new QHBoxLayout;
    signInRow->addWidget(cmdSignIn);
    signInRow->addWidget(lblSignedIn, 1);
    form->addRow(QString(), signInRow);
    m_microsoftRows = {txtTenant, form->labelForField(txtTenant)};
    m_otherRows = {txtAuthUrl,   form->labelForField(txtAuthUrl),   txtTokenUrl, form->labelForField(txtTokenUrl),
                   txtDeviceUrl, form->labelForField(txtDeviceUrl), txtScope,    form->labelForField(txtScope)};

    lblKeyring = new QLabel(QStringLiteral("キーリングを利用できないため、パスワードとサインイン情報は設定ファイル"
                                           "（本人だけが読める）に保存されます。"),
                            this);
    lblKeyring->setObjectName(QStringLiteral("lblKeyring"));
    lblKeyring->setStyleSheet(QStringLiteral("color: #8a5a00;"));
    lblKeyring->setVisible(!keyring::available());

    auto *methodRow = new QHBoxLayout;
    methodRow->addWidget(cboAuthMethod);
    methodRow->addStretch(1);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addLayout(methodRow);
    root->addWidget(m_oauthRows);
    root->addWidget(lblKeyring);

    connect(cboAuthMethod, &QComboBox::activated, this, &SignInPanel::cboAuthMethod_Click);
    connect(cboProvider, &QComboBox::activated, this, &SignInPanel::cboProvider_Click);
    connect(cmdSignIn, &QPushButton::clicked, this, &SignInPanel::cmdSignIn_Click);
    showProviderFields();
}

SignInPanel::~SignInPanel()
{
    if (m_thread) {
        m_signIn->cancel();
        m_thread->wait();
    }
}

bool SignInPanel::oauthChosen() const
{
    return cboAuthMethod->currentIndex() == 1;
}

void SignInPanel::showAccount(const AccountRecord &a)
{
    m_profile = a.Account;
    cboAuthMethod->setCurrentIndex(a.OAuth2 ? 1 : 0);
    cboProvider->setCurrentIndex(int(oauthProviderFromKey(a.OAuthProvider)));
    txtClientId->setText(a.OAuthClientId);
    txtClientSecret->setText(a.OAuthClientSecret);
    txtTenant->setText(a.OAuthTenant);
    txtAuthUrl->setText(a.OAuthAuthUrl);
    txtTokenUrl->setText(a.OAuthTokenUrl);
    txtDeviceUrl->setText(a.OAuthDeviceUrl);
    txtScope->setText(a.OAuthScope);
    emit methodChosen(a.OAuth2);
    showSignedIn(hasSignIn(*m_ctx.settings, a.Account), a.OAuthSignedIn);
    showProviderFields();
}

void SignInPanel::fillEntry(AccountEntry &e) const
{
    e.oauth = oauthChosen();
    e.oauthProvider = oauthProviderKey(kProviders[std::max(0, cboProvider->currentIndex())]);
    e.oauthClientId = txtClientId->text();
    e.oauthClientSecret = txtClientSecret->text();
    e.oauthTenant = txtTenant->text();
    e.oauthAuthUrl = txtAuthUrl->text();
    e.oauthTokenUrl = txtTokenUrl->text();
    e.oauthDeviceUrl = txtDeviceUrl->text();
    e.oauthScope = txtScope->text();
}

void SignInPanel::showProviderFields()
{
    m_oauthRows->setVisible(oauthChosen());
    const OAuthProvider p = kProviders[std::max(0, cboProvider->currentIndex())];
    for (QWidget *w : m_microsoftRows)
        w->setVisible(p == OAuthProvider::Microsoft);
    for (QWidget *w : m_otherRows)
        w->setVisible(p == OAuthProvider::Other);
}

void SignInPanel::showSignedIn(bool signedIn, const QString &address)
{
    m_signedIn = signedIn;
    m_address = address;
    lblSignedIn->setText(!signedIn           ? QStringLiteral("サインインしていません")
                         : address.isEmpty() ? QStringLiteral("サインイン済み")
                                             : address + QStringLiteral("　サインイン済み"));
}

void SignInPanel::cboAuthMethod_Click()
{
    showProviderFields();
    emit methodChosen(oauthChosen());
    if (oauthChosen())
        cboProvider_Click();
}

void SignInPanel::cboProvider_Click()
{
    showProviderFields();
    const OAuthServerPreset servers = oauthServers(kProviders[std::max(0, cboProvider->currentIndex())]);
    if (!servers.smtpHost.isEmpty())
        emit presetChosen(servers.smtpHost, servers.smtpPort);
}

void SignInPanel::cmdSignIn_Click()
{
    if (m_thread) {
        // A second press gives up waiting for the browser.
        m_signIn->cancel();
        return;
    }
    AccountEntry entry;
    fillEntry(entry);
    AccountRecord account;
    storeAccountEntry(entry, account);
    if (account.OAuthClientId.isEmpty()) {
        m_ctx.platform->messageBox(this, QStringLiteral("クライアント ID が設定されていません。"),
                                   QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    m_signIn = std::make_shared<LoopbackSignIn>(accountOAuthConfig(account));
    auto result = std::make_shared<SignInResult>();
    std::shared_ptr<LoopbackSignIn> signIn = m_signIn;
    // The browser is opened from the window's thread, through the seam.
    auto openBrowser = [this](const QUrl &url) {
        QMetaObject::invokeMethod(
            this, [this, url] { m_ctx.platform->shellOpen(this, url.toString(QUrl::FullyEncoded)); },
            Qt::QueuedConnection);
    };
    m_thread = QThread::create([signIn, result, openBrowser] { *result = signIn->run(openBrowser); });
    connect(m_thread, &QThread::finished, this, [this, result] {
        m_thread->deleteLater();
        m_thread = nullptr;
        cmdSignIn->setText(QStringLiteral("サインイン"));
        signInDone(*result);
    });
    cmdSignIn->setText(QStringLiteral("サインインを中止"));
    lblSignedIn->setText(QStringLiteral("ブラウザーでサインインしてください…"));
    m_thread->start();
}

void SignInPanel::signInDone(const SignInResult &r)
{
    QString error;
    if (r.ok() && keepSignIn(*m_ctx.settings, m_profile, r.tokens, &error)) {
        if (ActiveAccount.Account == m_profile)
            ActiveAccount.OAuthSignedIn = r.tokens.signedInAddress;
        showSignedIn(true, r.tokens.signedInAddress);
        emit signInFinished(true, r.tokens.signedInAddress);
        return;
    }
    showSignedIn(m_signedIn, m_address);
    if (r.status != SignInResult::Status::Cancelled)
        m_ctx.platform->messageBox(this, r.ok() ? error : r.message, QStringLiteral("サインイン"), MsgIcon::Warning,
                                   MsgButtons::Ok);
    emit signInFinished(false, {});
}
