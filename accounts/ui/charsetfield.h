#pragma once
// The account dialog's "メールの文字コード": UTF-8, or ISO-2022-JP for
// receivers that still mishandle UTF-8 Japanese.

#include "account.h"

#include <QWidget>

class QComboBox;
class QLabel;

class CharsetField : public QWidget {
    Q_OBJECT
public:
    explicit CharsetField(QWidget *parent);

    QLabel *label() const { return m_label; }
    void setCharset(MailCharset charset);
    MailCharset charset() const;

    QComboBox *cboCharset = nullptr;

private:
    QLabel *m_label = nullptr;
};
