#include "frmcertificate.h"

#include "account.h"
#include "appcontext.h"
#include "platform.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

frmCertificate::frmCertificate(const UntrustedCertificate &c, QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmCertificate"));
    setWindowTitle(QStringLiteral("サーバーの証明書"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(40, 40));
    icon->setAlignment(Qt::AlignTop);
    lblServer = new QLabel(this);
    lblServer->setObjectName(QStringLiteral("lblServer"));
    lblServer->setWordWrap(true);
    lblServer->setTextFormat(Qt::PlainText);
    lblServer->setText(
        QStringLiteral("%1 サーバー（%2:%3）の証明書を信頼できないため、接続を中止しました。")
            .arg(c.protocol == MailProtocol::Pop3 ? QStringLiteral("POP3") : QStringLiteral("SMTP"), c.host)
            .arg(c.port));
    QFont strong = lblServer->font();
    strong.setBold(true);
    lblServer->setFont(strong);
    lblReasons = new QLabel(this);
    lblReasons->setObjectName(QStringLiteral("lblReasons"));
    lblReasons->setWordWrap(true);
    lblReasons->setTextFormat(Qt::PlainText);
    lblReasons->setText(QStringLiteral("・") + untrustedReasonTexts(c).join(QStringLiteral("\n・")));
    lblReasons->setStyleSheet(QStringLiteral("color: #b00020;"));

    auto *details = new QFormLayout;
    details->setLabelAlignment(Qt::AlignRight);
    for (const auto &row : certificateRows(c.certificate)) {
        auto *value = new QLabel(row.second, this);
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        details->addRow(row.first + QStringLiteral("："), value);
    }
    auto *advice = new QLabel(QStringLiteral(
                                  "信頼する前に、この内容（特に SHA-256 フィンガープリント）が、サーバーの管理者から"
                                  "知らされたものと同じか確かめてください。信頼すると、このアカウントは"
                                  "次の接続からこの証明書を受け入れます。別の証明書に変わったときは、もう一度"
                                  "お尋ねします。"),
                              this);
    advice->setWordWrap(true);

    cmdTrust = new QPushButton(QStringLiteral("この証明書を信頼する（このアカウントのみ）"), this);
    cmdTrust->setObjectName(QStringLiteral("cmdTrust"));
    const QString name = usableCertificateName(c.certificate);
    if ((c.reasons & UntrustedCertificate::NameMismatch) && !name.isEmpty()) {
        cmdUseName = new QPushButton(QStringLiteral("証明書の名前（%1）をサーバー名に使う").arg(name), this);
        cmdUseName->setObjectName(QStringLiteral("cmdUseName"));
        connect(cmdUseName, &QPushButton::clicked, this, &frmCertificate::cmdUseName_Click);
    }
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Nothing is trusted by a stray Enter.
    for (QPushButton *b : {cmdTrust, cmdUseName, cmdCancel})
        if (b)
            b->setAutoDefault(false);
    cmdCancel->setDefault(true);
    connect(cmdTrust, &QPushButton::clicked, this, &frmCertificate::cmdTrust_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCertificate::cmdCancel_Click);

    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    auto *texts = new QVBoxLayout;
    texts->addWidget(lblServer);
    texts->addWidget(lblReasons);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    if (cmdUseName)
        buttons->addWidget(cmdUseName);
    buttons->addStretch(1);
    buttons->addWidget(cmdTrust);
    buttons->addWidget(cmdCancel);
    auto *root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addSpacing(6);
    root->addLayout(details);
    root->addSpacing(6);
    root->addWidget(advice);
    root->addLayout(buttons);
    setMinimumWidth(620);
}

void frmCertificate::cmdTrust_Click()
{
    m_choice = Choice::Trust;
    accept();
}

void frmCertificate::cmdUseName_Click()
{
    m_choice = Choice::UseName;
    accept();
}

void frmCertificate::cmdCancel_Click()
{
    m_choice = Choice::None;
    reject();
}

bool askAboutCertificate(AppContext &ctx, QWidget *owner, const UntrustedCertificate &c, AccountRecord &account)
{
    frmCertificate dlg(c, owner);
    ctx.platform->showModal(&dlg);
    switch (dlg.choice()) {
    case frmCertificate::Choice::Trust:
        account.PinnedKeys = withPinnedKey(account.PinnedKeys, c.certificate.publicKeyPin);
        return true;
    case frmCertificate::Choice::UseName: account.szServer = usableCertificateName(c.certificate); return true;
    case frmCertificate::Choice::None: break;
    }
    return false;
}

bool askAboutCertificateOfAccountInUse(AppContext &ctx, QWidget *owner, const UntrustedCertificate &c)
{
    if (!askAboutCertificate(ctx, owner, c, ActiveAccount))
        return false;
    saveServerFacts(*ctx.settings, ActiveAccount);
    return true;
}
