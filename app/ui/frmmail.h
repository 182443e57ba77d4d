#pragma once
// The main window: the message being composed, the send list and its count,
// the two body options, the menus, the toolbar and the status bar.

#include "backgroundrun.h"
#include "sendrun.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTreeView;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QStatusBar;
class QTimer;
class QToolBar;
struct AppContext;
class Platform;
class RunLock;
class SendList;
class SettingsStore;

class frmMail : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMail(AppContext &ctx, QWidget *parent = nullptr);
    ~frmMail() override;

    // The body with CR LF line ends, as files and the send run see it.
    QString bodyText() const;
    void setBodyText(const QString &text);
    // Body header, CR LF, signature of the account in use.
    QString initialBody() const;
    // The attachments: the list shows file names (the path as tooltip), the
    // hidden attachment text holds the paths joined by TAB.
    QStringList attachmentPaths() const;
    void setAttachmentPaths(const QStringList &paths);

    // Controls, under the names the code uses for them throughout.
    QFrame *Frame1 = nullptr;
    QLabel *Label1 = nullptr; // "宛先", a click opens the address book
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *txtSubject = nullptr;
    QPlainTextEdit *txtBody = nullptr;
    QListWidget *List1 = nullptr;    // attachments shown
    QLineEdit *txtFile = nullptr;    // attachment text, hidden
    QTreeView *lstName1 = nullptr;   // name and address of each entry
    QLineEdit *Text1 = nullptr;      // count of send list entries
    QCheckBox *Check1 = nullptr;     // name block at the head of each body
    QCheckBox *Check2 = nullptr;     // no honorific
    QPushButton *Command1 = nullptr; // hidden; its click is the send command
    QProgressBar *ProgressBar1 = nullptr;
    QToolBar *tbToolBar = nullptr;
    QStatusBar *sbStatusBar = nullptr;
    QLabel *sbPanel1 = nullptr;     // account line
    QLabel *sbPanel2 = nullptr;     // date
    QLabel *sbPanel3 = nullptr;     // time
    QLabel *lblRun = nullptr;       // during a run: i / N, the rate, the time left
    QPushButton *cmdStop = nullptr; // during a run: stop after the message in flight (again: at once)

    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileSend = nullptr;
    QAction *mnuFilePreview = nullptr;
    QAction *mnuFileTest = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *mnuFileSave = nullptr;
    QAction *mnuFileSaveAs = nullptr;
    QAction *mnuFilePrint = nullptr;
    QAction *mnuFilePageSetup = nullptr;
    QAction *mnuFileExit = nullptr;
    QMenu *mnuEdit = nullptr;
    QAction *mnuEditUndo = nullptr;
    QAction *mnuEditCut = nullptr;
    QAction *mnuEditCopy = nullptr;
    QAction *mnuEditPaste = nullptr;
    QAction *mnuBodyRefresh = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuViewToolbar = nullptr;
    QAction *mnuViewStatusBar = nullptr;
    QAction *mnuViewRefresh = nullptr;
    QAction *mnuLogFile = nullptr;
    QMenu *mnuInput = nullptr;
    QAction *mnuInport = nullptr;
    QAction *mnuInportKill = nullptr;
    QAction *mnuTempOpen = nullptr;
    QAction *mnuTempkKill = nullptr;
    QAction *mnuSine = nullptr;
    QMenu *mnuTools = nullptr;
    QAction *mnuToolsOptions = nullptr;
    QAction *mnuToolsInbox = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpContents = nullptr;
    QAction *mnuOnline = nullptr;
    QAction *mnuHelpAbout = nullptr;

    // Window state.
    bool BodyChanged = false;
    bool AccountUnset = false;
    QString BodyFileName;
    // How sends reach the servers beyond what the account says.
    TransportOptions transportOptions;

    AppContext &context() { return m_ctx; }
    // A send run is working (on its own thread).
    bool isRunning() const;
    // The message as this window holds it now.
    RunInputs windowInputs() const;

signals:
    // A send run started by this window has ended and its outcome was shown.
    void runEnded();

public slots:
    void Form_Load();
    void Form_Activate();
    // False when the user chose to keep the window open.
    bool Form_QueryUnload();
    void Form_Unload();

    // Send, preview and test message (frmmail_send.cpp).
    void Command1_Click();
    void mnuFilePreview_Click();
    void mnuFileTest_Click();
    // Stop after the message in flight; a second press offers to stop now.
    void cmdStop_Click();

    // Message body, attachments and printing (frmmail_body.cpp).
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFilePrint_Click();
    void mnuFilePageSetup_Click();
    void mnuBodyRefresh_Click();
    void mnuTempOpen_Click();
    void mnuTempkKill_Click();
    void mnuSine_Click();

    void mnuFileSend_Click();
    void mnuFileExit_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuViewRefresh_Click();
    void mnuLogFile_Click();
    void mnuInport_Click();
    void mnuInportKill_Click();
    void mnuToolsOptions_Click();
    void mnuToolsInbox_Click();
    void mnuHelpContents_Click();
    void mnuOnline_Click();
    void mnuHelpAbout_Click();
    void tbToolBar_ButtonClick(const QString &key);
    void Label1_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Undo, cut, copy and paste, from the menu or the tool bar, act on the
    // text field that has the focus.
    enum class EditCommand { Undo, Cut, Copy, Paste };
    void editFocused(EditCommand command);
    void buildControls();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void refreshClock();
    void openAddressBookBusy();
    // The account dialog; afterwards the window shows the account as saved
    // (status line, a body still as filled in takes the new header).
    void openAccounts();
    // Body refill, list count and account line as the account is now.
    void showAccountState();
    // The checks of the send command with their messages and follow-ups;
    // false when one of them stopped it.
    bool passesSendChecks();
    // The send run on its own thread, with the window's progress and stop
    // button; journalIndex continues an interrupted run (see
    // SendRunEnvironment). The outcome is shown when it finishes.
    void startRun(const QList<qsizetype> &journalIndex);
    // The questions on refused and repeated addresses; false when the user
    // would rather not send.
    bool confirmAddresses();
    // ISO-2022-JP that would lose characters: UTF-8 for this run, or nothing sent.
    bool confirmCharset();
    void runProgress(qsizetype value, qsizetype maximum);
    void runWaiting(qint64 ms, const QString &what);
    void runFinished();
    void showRunState();
    void showRunOutcome(const SendRunResult &result, const RecipientRows &left);
    // A certificate the run did not trust, put to the user in place of the
    // run's message; false when there was none.
    bool askAboutUntrustedCertificate();
    void setRunInputBlocked(bool blocked);
    void offerStopNow();
    // A run that ended early, offered to be finished: true when the user
    // took the offer (and the rest was sent).
    bool offerResume();
    // The body file (subject line, then the body): code page 932, or UTF-8
    // with a byte-order mark after asking when some character doesn't fit.
    // False when nothing was written (the message has been shown).
    bool writeBodyFile(const QString &path);
    // What the messages are made of: the account and this window's values.
    OutgoingContent currentContent();
    Platform &platform();
    SettingsStore &settings();
    SendList &sendList();

    AppContext &m_ctx;
    QTimer *m_clock = nullptr;
    bool m_inActivate = false;
    bool m_resumeOffered = false;
    QString m_filledBody; // the body as activation last filled it in
    // The run in progress and what the window shows of it.
    std::unique_ptr<BackgroundRun> m_run;
    std::unique_ptr<RunLock> m_runLock;
    QTimer *m_runClock = nullptr;
    QShortcut *m_escStop = nullptr;
    QToolBar *m_runBar = nullptr;
    QElapsedTimer m_runStarted;
    QElapsedTimer m_phaseStarted; // since the last progress or wait
    qsizetype m_runValue = 0;
    qsizetype m_runMaximum = 0;
    QString m_runCount; // "i / N"
    qint64 m_waitMs = 0;
    QString m_waitWhat;
    bool m_closeAfterRun = false;
    bool m_stopNowAsked = false;
    QList<qsizetype> m_skipEntries;    // repeated addresses the user sends once
    qsizetype m_suppressedLeftOut = 0; // of m_skipEntries, the suppressed
    bool m_utf8ForRun = false;         // the user chose UTF-8 over characters lost
    // Where the run leaves a certificate it did not trust.
    std::shared_ptr<UntrustedCertificateSink> m_untrusted;
};
