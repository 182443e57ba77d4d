#include "charsetfield.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

CharsetField::CharsetField(QWidget *parent) : QWidget(parent)
{
    cboCharset = new QComboBox(this);
    cboCharset->setObjectName(QStringLiteral("cboCharset"));
    // In the order of MailCharset.
    cboCharset->addItems({QStringLiteral("UTF-8（推奨）"), QStringLiteral("ISO-2022-JP")});
    cboCharset->setToolTip(QStringLiteral("ISO-2022-JP は、UTF-8 の日本語を正しく扱えない受信側のための文字コードです。"
                                          "送れない文字があるときは、送信の前にお知らせします。"));
    m_label = new QLabel(QStringLiteral("メールの文字コード(&J)"), parent);
    m_label->setObjectName(QStringLiteral("lblCharset"));
    m_label->setBuddy(cboCharset);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(cboCharset);
    row->addStretch(1);
}

void CharsetField::setCharset(MailCharset charset)
{
    cboCharset->setCurrentIndex(charset == MailCharset::Iso2022Jp ? 1 : 0);
}

MailCharset CharsetField::charset() const
{
    return cboCharset->currentIndex() == 1 ? MailCharset::Iso2022Jp : MailCharset::Utf8;
}
