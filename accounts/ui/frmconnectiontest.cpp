#include "frmconnectiontest.h"

#include "appcontext.h"
#include "frmcertificate.h"
#include "offthread.h"
#include "platform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString securityText(ConnectionSecurity s)
{
    switch (s) {
    case ConnectionSecurity::StartTls: return QStringLiteral("STARTTLS");
    case ConnectionSecurity::Tls: return QStringLiteral("SSL/TLS");
    case ConnectionSecurity::Auto: break;
    }
    return QStringLiteral("自動");
}

QString stepHtml(const CheckStep &s)
{
    const QString mark = s.passed ? QStringLiteral("<span style=\"color:#1a7f37; font-weight:bold\">✔</span>")
                                  : QStringLiteral("<span style=\"color:#b00020; font-weight:bold\">✖</span>");
    QString text = s.text.toHtmlEscaped();
    text.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<tr><td width=\"22\" valign=\"top\">%1</td><td><b>%2</b><br>%3</td></tr>")
        .arg(mark, s.title.toHtmlEscaped(), text);
}

} // namespace

frmConnectionTest::frmConnectionTest(AppContext &ctx, const AccountRecord &account, QWidget *owner)
    : QDialog(owner), m_ctx(ctx), m_account(account)
{
    setObjectName(QStringLiteral("frmConnectionTest"));
    setWindowTitle(QStringLiteral("接続テスト"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(640, 560);

    lblAccount = new QLabel(this);
    lblAccount->setObjectName(QStringLiteral("lblAccount"));
    lblAccount->setTextFormat(Qt::PlainText);
    lblAccount->setWordWrap(true);
    txtSteps = new QTextBrowser(this);
    txtSteps->setObjectName(QStringLiteral("txtSteps"));
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setTextFormat(Qt::PlainText);
    lblResult->setWordWrap(true);
    cmdRetry = new QPushButton(QStringLiteral("もう一度テスト(&R)"), this);
    cmdRetry->setObjectName(QStringLiteral("cmdRetry"));
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdRetry->setAutoDefault(false);
    cmdClose->setDefault(true);
    connect(cmdRetry, &QPushButton::clicked, this, &frmConnectionTest::run);
    connect(cmdClose, &QPushButton::clicked, this, &frmConnectionTest::cmdClose_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdRetry);
    buttons->addWidget(cmdClose);
    auto *root = new QVBoxLayout(this);
    root->addWidget(lblAccount);
    root->addWidget(txtSteps, 1);
    root->addWidget(lblResult);
    root->addLayout(buttons);
}

void frmConnectionTest::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        QTimer::singleShot(0, this, &frmConnectionTest::run);
    }
}

void frmConnectionTest::addStep(const CheckStep &step)
{
    m_html += stepHtml(step);
    txtSteps->setHtml(QStringLiteral("<table cellspacing=\"6\">") + m_html + QStringLiteral("</table>"));
}

void frmConnectionTest::run()
{
    m_started = true;
    const AccountRecord &a = m_account;
    QString account = QStringLiteral("送信メールサーバー: %1:%2（接続の保護: %3）")
                          .arg(a.szServer, a.szPort, securityText(a.SmtpSecurity));
    if (a.Check2V == 1)
        account += QStringLiteral("\nPOP3 サーバー: %1:%2（接続の保護: %3）")
                       .arg(a.szServer, a.Pop3Port, securityText(a.Pop3Security));
    lblAccount->setText(account);
    m_html.clear();
    txtSteps->clear();
    lblResult->setStyleSheet(QString());
    lblResult->setText(QStringLiteral("テストしています…"));

    // Each step shows as it ends; the result below is the whole of it.
    auto onStep = [this](const CheckStep &s) {
        QMetaObject::invokeMethod(
            this, [this, s] { addStep(s); }, Qt::QueuedConnection);
    };
    ConnectionCheckResult r;
    {
        BusyPointer busy(*m_ctx.platform);
        r = waitOffThread<ConnectionCheckResult>(this, [&] { return checkConnection(a, {}, onStep); });
    }
    m_result = r;
    showOutcome(r);
    // Once the user trusts the certificate or takes its name, again.
    if (r.untrusted && askAboutCertificate(m_ctx, this, *r.untrusted, m_account))
        run();
}

void frmConnectionTest::showOutcome(const ConnectionCheckResult &r)
{
    m_html.clear();
    for (const CheckStep &s : r.steps)
        m_html += stepHtml(s);
    txtSteps->setHtml(QStringLiteral("<table cellspacing=\"6\">") + m_html + QStringLiteral("</table>"));
    if (r.passed) {
        lblResult->setStyleSheet(QStringLiteral("color: #1a7f37; font-weight: bold;"));
        lblResult->setText(QStringLiteral("接続テストに成功しました。メールは送っていません。"));
    } else {
        lblResult->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
        lblResult->setText(QStringLiteral("接続テストに失敗しました。")
                           + (r.hint.isEmpty() ? QString() : QLatin1Char('\n') + r.hint));
    }
}

void frmConnectionTest::cmdClose_Click()
{
    accept();
}
