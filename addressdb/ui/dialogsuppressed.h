#pragma once
// The address book's list of suppressed addresses: each with why and since
// when, and a suppression lifted by hand after a question. It works on the
// address book's own connection.

#include "suppression.h"

#include <QDialog>

class AddressDb;
class Platform;
class QLabel;
class QPushButton;
class QTableWidget;

// The question before a suppressed address is mailed again.
QString liftSuppressionQuestion(const QString &address, const Suppression &suppression);

class DialogSuppressed : public QDialog {
    Q_OBJECT
public:
    DialogSuppressed(Platform &platform, AddressDb &db, QWidget *parent = nullptr);

    enum Column { ColAddress, ColReason, ColDate };

    QLabel *lblCount = nullptr;
    QTableWidget *grdSuppressed = nullptr;
    QPushButton *cmdLift = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    // Lifts the suppression of the chosen row, once the user says yes.
    void cmdLift_Click();
    void reload();

private:
    void info(const QString &text);

    Platform &m_platform;
    AddressDb &m_db;
    QList<Suppression> m_rows;
};
