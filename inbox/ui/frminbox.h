#pragma once
// エラーメール・配信停止の処理: reads an account's POP3 mailbox on a thread of
// its own and shows, as they come, the addresses it suppressed or left
// alone with the reason and the date, then the counts. The window stays
// alive while it reads; 中止 stops after the message in hand, and closing
// the window stops at once.

#include "inboxrun.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
struct AppContext;
class Platform;

// Shows the window modally over owner.
void showInboxWindow(AppContext &ctx, QWidget *owner);

class frmInbox : public QDialog {
    Q_OBJECT
public:
    explicit frmInbox(AppContext &ctx, QWidget *owner = nullptr);
    ~frmInbox() override;

    bool isRunning() const;
    // The last reading's result, once one ended.
    const InboxResult *result() const { return m_result.get(); }

    QComboBox *cboAccount = nullptr;
    QCheckBox *chkDelete = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdClose = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *lblStatus = nullptr;
    QTreeWidget *lstEntries = nullptr;
    QLabel *lblCounts = nullptr;

    enum Column { ColAddress, ColReason, ColDate };

signals:
    // A reading has ended and its outcome is on show.
    void runEnded();

public slots:
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdClose_Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addEntry(const InboxEntry &entry);
    void showProgress(int done, int total);
    void runFinished();
    void setRunning(bool running);
    // Stops at once; the window closes when the reading has ended.
    bool holdCloseForRun();
    Platform &platform();

    AppContext &m_ctx;
    std::unique_ptr<InboxRun> m_run;
    std::unique_ptr<InboxResult> m_result;
    bool m_closeAfterRun = false;
};
