#include "unsubscribepanel.h"

#include "account.h"
#include "textcodec.h"
#include "unsubscribe.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

UnsubscribePanel::UnsubscribePanel(QWidget *parent) : QWidget(parent)
{
    m_label = new QLabel(QStringLiteral("配信停止"), parent);
    m_label->setObjectName(QStringLiteral("lblUnsubscribe"));
    chkUnsubscribe = new QCheckBox(QStringLiteral("すべてのメールに配信停止の方法を付ける(&Q)"), this);
    chkUnsubscribe->setObjectName(QStringLiteral("chkUnsubscribe"));
    chkUnsubscribe->setToolTip(QStringLiteral("List-Unsubscribe ヘッダーと、署名の後の案内文を、宛先ごとに付けます。"));
    m_label->setBuddy(chkUnsubscribe);

    m_fields = new QWidget(this);
    txtAddress = new QLineEdit(m_fields);
    txtAddress->setObjectName(QStringLiteral("txtUnsubscribeAddress"));
    txtAddress->setPlaceholderText(QStringLiteral("（空欄：送信元メールアドレス）"));
    txtUrl = new QLineEdit(m_fields);
    txtUrl->setObjectName(QStringLiteral("txtUnsubscribeUrl"));
    txtUrl->setPlaceholderText(QStringLiteral("https://（任意）"));
    txtUrl->setToolTip(QStringLiteral("ワンクリックで配信停止を受け付けるページです。https のアドレスだけ使えます。"));
    txtFooter = new QPlainTextEdit(m_fields);
    txtFooter->setObjectName(QStringLiteral("txtUnsubscribeFooter"));
    txtFooter->setTabChangesFocus(true);
    txtFooter->setMinimumHeight(60);
    txtFooter->setMaximumHeight(90);
    txtFooter->setToolTip(QStringLiteral("署名の後に付きます。{配信停止アドレス} と {配信停止URL} は宛先ごとに"
                                         "置き換わります。"));
    cmdDefaultFooter = new QPushButton(QStringLiteral("標準の案内文"), m_fields);
    cmdDefaultFooter->setObjectName(QStringLiteral("cmdDefaultFooter"));
    cmdDefaultFooter->setAutoDefault(false);
    chkNotAdvertising = new QCheckBox(QStringLiteral("広告・宣伝のメールは送らない（送信前の確認をしない）"), this);
    chkNotAdvertising->setObjectName(QStringLiteral("chkNotAdvertising"));

    auto *grid = new QGridLayout(m_fields);
    grid->setContentsMargins(20, 0, 0, 0);
    const auto caption = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, m_fields);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(caption(QStringLiteral("受付アドレス"), txtAddress), 0, 0);
    grid->addWidget(txtAddress, 0, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("受付ページのURL"), txtUrl), 1, 0);
    grid->addWidget(txtUrl, 1, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("案内文"), txtFooter), 2, 0, Qt::AlignTop);
    grid->addWidget(txtFooter, 2, 1);
    grid->addWidget(cmdDefaultFooter, 2, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);

    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(chkUnsubscribe);
    box->addWidget(m_fields);
    box->addWidget(chkNotAdvertising);

    connect(chkUnsubscribe, &QCheckBox::toggled, this, &UnsubscribePanel::follow);
    // The user turning it on with no footer yet is offered the standard one;
    // a footer left empty on purpose stays empty.
    connect(chkUnsubscribe, &QCheckBox::clicked, this, [this](bool on) {
        if (on && txtFooter->toPlainText().trimmed().isEmpty())
            txtFooter->setPlainText(toLf(defaultUnsubscribeFooter()));
    });
    connect(cmdDefaultFooter, &QPushButton::clicked, this,
            [this] { txtFooter->setPlainText(toLf(defaultUnsubscribeFooter())); });
    follow();
}

void UnsubscribePanel::follow()
{
    m_fields->setEnabled(chkUnsubscribe->isChecked());
}

void UnsubscribePanel::showAccount(const AccountRecord &a)
{
    txtFooter->setPlainText(toLf(a.UnsubscribeFooter));
    txtAddress->setText(a.UnsubscribeAddress);
    txtUrl->setText(a.UnsubscribeUrl);
    chkNotAdvertising->setChecked(a.NotAdvertising);
    chkUnsubscribe->setChecked(a.Unsubscribe);
    follow();
}

void UnsubscribePanel::fillEntry(AccountEntry &e) const
{
    e.unsubscribe = chkUnsubscribe->isChecked();
    e.unsubscribeAddress = txtAddress->text();
    e.unsubscribeUrl = txtUrl->text();
    e.unsubscribeFooter = txtFooter->toPlainText();
    e.notAdvertising = chkNotAdvertising->isChecked();
}

QString UnsubscribePanel::problem()
{
    const QString url = txtUrl->text().trimmed();
    if (!url.isEmpty() && !isUnsubscribeUrl(url)) {
        txtUrl->setFocus();
        return QStringLiteral("配信停止の受付ページのURLは、https:// で始まるアドレスを入力してください。");
    }
    return {};
}
