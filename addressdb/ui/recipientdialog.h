#pragma once
// The small window that takes one recipient typed in by hand. It only
// gathers the five fields; the address book checks and stores them.

#include "addressedit.h"

#include <QDialog>

class QLineEdit;

class RecipientDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecipientDialog(QWidget *parent = nullptr);

    NewRecipient fields() const;
    void setFields(const NewRecipient &fields);

    QLineEdit *txtName1 = nullptr;
    QLineEdit *txtName2 = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLineEdit *txtCategory = nullptr;
    QLineEdit *txtMemo = nullptr;
};
