#include "sendwindowfield.h"

#include "account.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

SendWindowField::SendWindowField(QWidget *parent) : QWidget(parent)
{
    spnSendWindow = new QSpinBox(this);
    spnSendWindow->setObjectName(QStringLiteral("spnSendWindow"));
    spnSendWindow->setRange(1, kMaxSendWindow);
    spnSendWindow->setValue(kDefaultSendWindow);
    spnSendWindow->setMinimumWidth(70);
    spnSendWindow->setToolTip(QStringLiteral(
        "サーバーが対応していれば（CHUNKING）、返事を待たずに続けて送るメールの数です。遠いサーバーほど速く送れます。"
        "1 にすると１通ずつ送ります。"));
    lblSendWindow = new QLabel(QStringLiteral("同時に送信中にするメールの数(&K)"), this);
    lblSendWindow->setObjectName(QStringLiteral("lblSendWindow"));
    lblSendWindow->setBuddy(spnSendWindow);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lblSendWindow);
    row->addSpacing(4);
    row->addWidget(spnSendWindow);
}

void SendWindowField::setValue(int messages)
{
    spnSendWindow->setValue(messages);
}

int SendWindowField::value() const
{
    return spnSendWindow->value();
}

void SendWindowField::setPaced(bool paced)
{
    spnSendWindow->setEnabled(!paced);
    lblSendWindow->setEnabled(!paced);
}
