#pragma once
// The account dialog's connection test: the steps as they end, the outcome
// and what to change. A certificate that was not trusted is put to the user
// and, once trusted or its name taken, the test runs again. The account is
// the dialog's copy; the dialog reads back what the test changed.

#include "account.h"
#include "connectioncheck.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTextBrowser;
struct AppContext;

class frmConnectionTest : public QDialog {
    Q_OBJECT
public:
    frmConnectionTest(AppContext &ctx, const AccountRecord &account, QWidget *owner = nullptr);

    // The account as the test left it (a trusted key, the certificate's
    // name as its server).
    const AccountRecord &account() const { return m_account; }
    // The last test's result, once one ended.
    const std::optional<ConnectionCheckResult> &result() const { return m_result; }

    QLabel *lblAccount = nullptr;
    QTextBrowser *txtSteps = nullptr;
    QLabel *lblResult = nullptr;
    QPushButton *cmdRetry = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    // Runs the test (off the GUI thread) and shows it; starts by itself
    // when the window first shows.
    void run();
    void cmdClose_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void addStep(const CheckStep &step);
    void showOutcome(const ConnectionCheckResult &result);

    AppContext &m_ctx;
    AccountRecord m_account;
    std::optional<ConnectionCheckResult> m_result;
    QString m_html;
    bool m_started = false;
};
