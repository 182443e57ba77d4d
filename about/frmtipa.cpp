#include "frmtipa.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
// Wrapped labels get a fixed width so their height can be worked out from it;
// left to the layout they may be given one line too few.
constexpr int kTipWidth = 460;
}

frmTipA::frmTipA(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTipA"));
    setWindowTitle(QStringLiteral("ﾜﾝﾎﾟｲﾝﾄ"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    Label1->setFont(titleFont);

    QLabel **tips[] = {&lblTipText1, &lblTipText2, &lblTipText3, &lblTipText4,
                       &lblTipText5, &lblTipText6, &lblTipText7};
    auto *list = new QGridLayout;
    list->setHorizontalSpacing(6);
    list->setVerticalSpacing(8);
    int row = 0;
    for (QLabel **slot : tips) {
        *slot = new QLabel(this);
        (*slot)->setObjectName(QStringLiteral("lblTipText%1").arg(row + 1));
        (*slot)->setWordWrap(true);
        (*slot)->setFixedWidth(kTipWidth);
        (*slot)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto *bullet = new QLabel(QStringLiteral("・"), this);
        bullet->setAlignment(Qt::AlignTop);
        list->addWidget(bullet, row, 0, Qt::AlignTop);
        list->addWidget(*slot, row, 1);
        ++row;
    }
    list->setColumnStretch(1, 1);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmTipA::cmdOK_Click);

    auto *head = new QHBoxLayout;
    head->addWidget(Picture1);
    head->addSpacing(8);
    head->addWidget(Label1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto *root = new QVBoxLayout(this);
    root->addLayout(head);
    root->addSpacing(6);
    root->addLayout(list);
    root->addSpacing(6);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

QList<QLabel *> frmTipA::tipLabels() const
{
    return {lblTipText1, lblTipText2, lblTipText3, lblTipText4, lblTipText5, lblTipText6, lblTipText7};
}

void frmTipA::setTips(const QString &title, const QStringList &tips)
{
    Label1->setText(title);
    const auto labels = tipLabels();
    for (int i = 0; i < labels.size(); ++i) {
        labels[i]->setText(i < tips.size() ? tips[i] : QString());
        labels[i]->setMinimumHeight(labels[i]->heightForWidth(kTipWidth));
    }
    adjustSize();
}

// OK is also the cancel button: Esc reaches the dialog's reject.
void frmTipA::cmdOK_Click()
{
    accept();
}
