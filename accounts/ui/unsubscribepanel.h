#pragma once
// The account dialog's unsubscribe settings: the List-Unsubscribe headers
// and footer on every message, where requests go, the page for one-click
// requests, and whether the account sends advertising mail at all.

#include "accountcheck.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct AccountRecord;

class UnsubscribePanel : public QWidget {
    Q_OBJECT
public:
    explicit UnsubscribePanel(QWidget *parent);

    QLabel *label() const { return m_label; }
    void showAccount(const AccountRecord &account);
    void fillEntry(AccountEntry &e) const;
    // Why the fields can't be saved ("" when they can); the field at fault
    // takes the focus.
    QString problem();

    QCheckBox *chkUnsubscribe = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLineEdit *txtUrl = nullptr;
    QPlainTextEdit *txtFooter = nullptr;
    QPushButton *cmdDefaultFooter = nullptr;
    QCheckBox *chkNotAdvertising = nullptr;

private:
    void follow();
    QLabel *m_label = nullptr;
    QWidget *m_fields = nullptr;
};
