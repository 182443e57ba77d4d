#include "recipientdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RecipientDialog::RecipientDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RecipientDialog"));
    setWindowTitle(QStringLiteral("宛先の追加"));
    auto *form = new QFormLayout;
    auto field = [&](QLineEdit *&edit, const char *name, const QString &label, const QString &hint) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setPlaceholderText(hint);
        edit->setMinimumWidth(320);
        form->addRow(label, edit);
    };
    field(txtName1, "txtName1", QStringLiteral("宛先1(&1):"), QStringLiteral("会社名・部署名など"));
    field(txtName2, "txtName2", QStringLiteral("宛先2(&2):"), QStringLiteral("お名前（様が付きます）"));
    field(txtAddress, "txtAddress", QStringLiteral("メールアドレス(&M):"), QStringLiteral("例）taro@example.jp"));
    field(txtCategory, "txtCategory", QStringLiteral("インポート区分名(&C):"), QString());
    field(txtMemo, "txtMemo", QStringLiteral("メモ(&O):"), QString());
    txtCategory->setText(QStringLiteral("手入力"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(
        QStringLiteral("名前と区分名は50文字まで保存されます。メールアドレスは半角・小文字にそろえて保存されます。"),
        this);
    note->setWordWrap(true);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

NewRecipient RecipientDialog::fields() const
{
    return {txtCategory->text(), txtName1->text(), txtName2->text(), txtAddress->text(), txtMemo->text()};
}

void RecipientDialog::setFields(const NewRecipient &f)
{
    txtCategory->setText(f.category);
    txtName1->setText(f.name1);
    txtName2->setText(f.name2);
    txtAddress->setText(f.address);
    txtMemo->setText(f.memo);
}
