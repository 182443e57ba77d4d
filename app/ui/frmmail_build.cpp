#include "frmmail.h"

#include "appcontext.h"
#include "platform.h"
#include "toolbaricons.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

// The main window's widgets, menus, tool bar and status bar.

void frmMail::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);

    Frame1 = new QFrame(central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addWidget(Frame1);

    auto label = [&](const char *name, const QString &text) {
        auto *l = new QLabel(text, Frame1);
        l->setObjectName(QLatin1String(name));
        return l;
    };

    Label2 = label("Label2", QStringLiteral("件名(&S)"));
    txtSubject = new QLineEdit(Frame1);
    txtSubject->setObjectName(QStringLiteral("txtSubject"));
    Label2->setBuddy(txtSubject);

    Label1 = label("Label1", QStringLiteral("宛先"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setToolTip(QStringLiteral("宛先のインポート"));
    Label1->installEventFilter(this);
    // Name and address of each entry, side by side.
    lstName1 = new QTreeView(Frame1);
    lstName1->setObjectName(QStringLiteral("lstName1"));
    lstName1->setModel(m_ctx.sendList);
    lstName1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstName1->setRootIsDecorated(false);
    lstName1->setUniformRowHeights(true);
    lstName1->setAlternatingRowColors(true);
    lstName1->header()->setSectionResizeMode(QHeaderView::Stretch);

    Label3 = label("Label3", QStringLiteral("添付ﾌｧｲﾙ(&A)"));
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    Label3->setBuddy(List1);
    txtFile = new QLineEdit(Frame1);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    txtFile->hide();

    Label4 = label("Label4", QStringLiteral("送信予定件数"));
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setAlignment(Qt::AlignRight);
    Text1->setFixedWidth(90);

    Check1 = new QCheckBox(QStringLiteral("本文に宛名を記載(&N)"), Frame1);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check2 = new QCheckBox(QStringLiteral("敬称略(&M)"), Frame1);
    Check2->setObjectName(QStringLiteral("Check2"));

    ProgressBar1 = new QProgressBar(Frame1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(14);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);

    Label5 = label("Label5", QStringLiteral("本文(&B)"));
    txtBody = new QPlainTextEdit(Frame1);
    txtBody->setObjectName(QStringLiteral("txtBody"));
    txtBody->setTabChangesFocus(false);
    Label5->setBuddy(txtBody);
    // Every change of the body, typed or set by the program, marks it changed.
    connect(txtBody, &QPlainTextEdit::textChanged, this, [this] { BodyChanged = true; });

    Command1 = new QPushButton(Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->hide();
    connect(Command1, &QPushButton::clicked, this, &frmMail::Command1_Click);

    // Subject, recipients and body take what the window gives; attachments
    // and options share a column of their own at the right.
    auto *side = new QVBoxLayout;
    side->addWidget(Label3);
    side->addWidget(List1, 1);
    side->addWidget(Check1);
    side->addWidget(Check2);
    side->addWidget(ProgressBar1);
    auto *grid = new QGridLayout(Frame1);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(txtSubject, 0, 1);
    grid->addWidget(Label4, 0, 2);
    grid->addWidget(Text1, 0, 3);
    grid->addWidget(Label1, 1, 0, Qt::AlignTop);
    grid->addWidget(lstName1, 1, 1);
    grid->addLayout(side, 1, 2, 1, 2);
    grid->addWidget(Label5, 2, 0, 1, 4);
    grid->addWidget(txtBody, 3, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 2);
    grid->setRowStretch(3, 3);
    lstName1->setMinimumHeight(110);
    List1->setMinimumHeight(40);

    // Ctrl+A is the account dialog's, as the menu says, in the text fields too.
    txtSubject->installEventFilter(this);
    txtBody->installEventFilter(this);
}

void frmMail::buildMenus()
{
    auto add = [&](QMenu *menu, const char *name, const QString &text, auto slot, const QKeySequence &shortcut = {}) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto menu = [&](const char *name, const QString &text) {
        QMenu *m = menuBar()->addMenu(text);
        m->setObjectName(QLatin1String(name));
        return m;
    };

    mnuFile = menu("mnuFile", QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuFileNew = add(mnuFile, "mnuFileNew", QStringLiteral("新規作成(&N)"), &frmMail::mnuFileNew_Click,
                     QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileSend = add(mnuFile, "mnuFileSend", QStringLiteral("一括メール送信(&D)..."), &frmMail::mnuFileSend_Click,
                      QKeySequence(Qt::CTRL | Qt::Key_D));
    mnuFilePreview = add(mnuFile, "mnuFilePreview", QStringLiteral("送信プレビュー(&V)..."),
                         &frmMail::mnuFilePreview_Click, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    mnuFileTest = add(mnuFile, "mnuFileTest", QStringLiteral("テスト送信(&T)..."), &frmMail::mnuFileTest_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileBar0"));
    mnuFileOpen = add(mnuFile, "mnuFileOpen", QStringLiteral("本文ﾃｷｽﾄﾌｧｲﾙを開く(&O)"), &frmMail::mnuFileOpen_Click);
    mnuFileSave = add(mnuFile, "mnuFileSave", QStringLiteral("本文の上書き保存(&S)"), &frmMail::mnuFileSave_Click);
    mnuFileSave->setEnabled(false);
    mnuFileSaveAs = add(mnuFile, "mnuFileSaveAs", QStringLiteral("名前を付けて本文の保存(&A)..."),
                        &frmMail::mnuFileSaveAs_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileBar1"));
    mnuFilePrint = add(mnuFile, "mnuFilePrint", QStringLiteral("印刷(&P)..."), &frmMail::mnuFilePrint_Click,
                       QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuFilePageSetup = add(mnuFile, "mnuFilePageSetup", QStringLiteral("ﾌﾟﾘﾝﾀの設定(&U)..."),
                           &frmMail::mnuFilePageSetup_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileBar2"));
    mnuFileExit = add(mnuFile, "mnuFileExit", QStringLiteral("終了(&X)"), &frmMail::mnuFileExit_Click);

    mnuEdit = menu("mnuEdit", QStringLiteral("編集(&E)"));
    mnuEditUndo = add(mnuEdit, "mnuEditUndo", QStringLiteral("元に戻す(&U)"),
                      [this] { editFocused(EditCommand::Undo); });
    mnuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditBar0"));
    mnuEditCut = add(
        mnuEdit, "mnuEditCut", QStringLiteral("切り取り(&T)"), [this] { editFocused(EditCommand::Cut); },
        QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuEditCopy = add(
        mnuEdit, "mnuEditCopy", QStringLiteral("ｺﾋﾟｰ(&C)"), [this] { editFocused(EditCommand::Copy); },
        QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuEditPaste = add(
        mnuEdit, "mnuEditPaste", QStringLiteral("貼り付け(&P)"), [this] { editFocused(EditCommand::Paste); },
        QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditBar1"));
    mnuBodyRefresh = add(mnuEdit, "mnuBodyRefresh", QStringLiteral("本文を初期状態に戻す(&R)"),
                         &frmMail::mnuBodyRefresh_Click);
    // The shortcuts belong to the menu entries; the text fields must not
    // handle them a second time.
    for (QAction *a : {mnuEditCut, mnuEditCopy, mnuEditPaste})
        a->setShortcutContext(Qt::WindowShortcut);

    mnuView = menu("mnuView", QStringLiteral("表示(&V)"));
    mnuViewToolbar = add(mnuView, "mnuViewToolbar", QStringLiteral("ﾂｰﾙ ﾊﾞｰ(&T)"), &frmMail::mnuViewToolbar_Click);
    mnuViewToolbar->setCheckable(true);
    mnuViewToolbar->setChecked(true);
    mnuViewStatusBar = add(mnuView, "mnuViewStatusBar", QStringLiteral("ｽﾃｰﾀｽ ﾊﾞｰ(&B)"),
                           &frmMail::mnuViewStatusBar_Click);
    mnuViewStatusBar->setCheckable(true);
    mnuViewStatusBar->setChecked(true);
    mnuView->addSeparator()->setObjectName(QStringLiteral("mnuViewBar0"));
    mnuViewRefresh = add(mnuView, "mnuViewRefresh", QStringLiteral("最新の情報に更新(&R)"),
                         &frmMail::mnuViewRefresh_Click);
    mnuView->addSeparator()->setObjectName(QStringLiteral("mnuViewBar1"));
    mnuLogFile = add(mnuView, "mnuLogFile", QStringLiteral("送信済ﾛｸﾞﾌｧｲﾙを開く(&L)"), &frmMail::mnuLogFile_Click,
                     QKeySequence(Qt::CTRL | Qt::Key_L));

    mnuInput = menu("mnuInput", QStringLiteral("挿入(&I)"));
    mnuInport = add(mnuInput, "mnuInport", QStringLiteral("宛先のインポート(&C)"), &frmMail::mnuInport_Click);
    mnuInportKill = add(mnuInput, "mnuInportKill", QStringLiteral("宛先の取消し(&K)"), &frmMail::mnuInportKill_Click);
    mnuInput->addSeparator()->setObjectName(QStringLiteral("mnuInputBar0"));
    mnuTempOpen = add(mnuInput, "mnuTempOpen", QStringLiteral("添付ﾌｧｲﾙ(&A)..."), &frmMail::mnuTempOpen_Click);
    mnuTempkKill = add(mnuInput, "mnuTempkKill", QStringLiteral("添付ﾌｧｲﾙの取消(&D)"), &frmMail::mnuTempkKill_Click);
    mnuInput->addSeparator()->setObjectName(QStringLiteral("mnuInputBar1"));
    mnuSine = add(mnuInput, "mnuSine", QStringLiteral("署名(&S)"), &frmMail::mnuSine_Click);

    mnuTools = menu("mnuTools", QStringLiteral("ﾂｰﾙ(&T)"));
    mnuToolsOptions = add(mnuTools, "mnuToolsOptions", QStringLiteral("ﾒｰﾙ送信　ｱｶｳﾝﾄ(&A)..."),
                          &frmMail::mnuToolsOptions_Click, QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuTools->addSeparator()->setObjectName(QStringLiteral("mnuToolsBar0"));
    mnuToolsInbox = add(mnuTools, "mnuToolsInbox", QStringLiteral("エラーメール・配信停止の処理(&E)..."),
                        &frmMail::mnuToolsInbox_Click);

    mnuHelp = menu("mnuHelp", QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelpContents = add(mnuHelp, "mnuHelpContents", QStringLiteral("目次＆ｷｰﾜｰﾄﾞ(&H)"),
                          &frmMail::mnuHelpContents_Click);
    mnuOnline = add(mnuHelp, "mnuOnline", QStringLiteral("ｵﾝﾗｲﾝｻﾎﾟｰﾄ(&S)"), &frmMail::mnuOnline_Click);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpBar0"));
    mnuHelpAbout = add(mnuHelp, "mnuHelpAbout", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"), &frmMail::mnuHelpAbout_Click);
    // F1: this window's section of the help.
    auto *f1 = new QAction(this);
    f1->setObjectName(QStringLiteral("actHelpSection"));
    f1->setShortcut(QKeySequence::HelpContents);
    connect(f1, &QAction::triggered, this, [this] { openHelp(platform(), this, QStringLiteral("main-window")); });
    addAction(f1);
}

void frmMail::buildToolBar()
{
    tbToolBar = addToolBar(QStringLiteral("tbToolBar"));
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbToolBar->setIconSize(QSize(16, 16));
    struct Button {
        const char *caption;
        const char *key;
        const char *tip;
        const char *image;
    };
    static const Button buttons[] = {
        {"送信　　　", "送信", "メール送信を開始", "Send"},
        {"プレビュー　", "プレビュー", "宛先ごとに送信する内容を確認", "Preview"},
        {"インポート　", "宛先検索", "データベースから宛先のｲﾝﾎﾟｰﾄ", "Open"},
        {"添付ファイル", "添付ファイル", "メールに添付するファイルを選択", "Temp"},
        {"切り取り　", "切り取り", "切り取り", "Cut"},
        {"コピー　　　", "コピー", "コピー", "Copy"},
        {"貼り付け　", "貼り付け", "貼り付け", "Paste"},
        {"元に戻す　", "元に戻す", "元に戻す", "Undo"},
        {"送信ｱｶｳﾝﾄ", "送信ｱｶｳﾝﾄ", "メール送信に必要なサーバー情報などを設定", "Open"},
    };
    for (const Button &b : buttons) {
        QAction *a = tbToolBar->addAction(toolbarIcon(QLatin1String(b.image)), QString::fromUtf8(b.caption));
        const QString key = QString::fromUtf8(b.key);
        a->setData(key);
        a->setToolTip(QString::fromUtf8(b.tip));
        a->setObjectName(QStringLiteral("tb_") + key);
        connect(a, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
}

void frmMail::buildStatusBar()
{
    sbStatusBar = statusBar();
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbPanel1 = new QLabel(sbStatusBar);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sbPanel2 = new QLabel(sbStatusBar);
    sbPanel2->setObjectName(QStringLiteral("sbPanel2"));
    sbPanel3 = new QLabel(sbStatusBar);
    sbPanel3->setObjectName(QStringLiteral("sbPanel3"));
    // The run's progress and stop button in a bar of their own above the
    // status bar, shown only while a run works, so the account line keeps
    // its room.
    m_runBar = new QToolBar(this);
    m_runBar->setObjectName(QStringLiteral("runBar"));
    m_runBar->setMovable(false);
    m_runBar->setFloatable(false);
    m_runBar->toggleViewAction()->setVisible(false);
    addToolBar(Qt::BottomToolBarArea, m_runBar);
    lblRun = new QLabel(m_runBar);
    lblRun->setObjectName(QStringLiteral("lblRun"));
    lblRun->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    cmdStop = new QPushButton(QStringLiteral("中止"), m_runBar);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdStop->setToolTip(QStringLiteral("送信中のメールが終わったところで止めます（Esc）"));
    cmdStop->setFocusPolicy(Qt::NoFocus);
    m_runBar->addWidget(lblRun);
    m_runBar->addWidget(cmdStop);
    m_runBar->hide();
    connect(cmdStop, &QPushButton::clicked, this, &frmMail::cmdStop_Click);
    m_escStop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escStop->setEnabled(false);
    connect(m_escStop, &QShortcut::activated, this, &frmMail::cmdStop_Click);
    m_runClock = new QTimer(this);
    m_runClock->setInterval(500);
    connect(m_runClock, &QTimer::timeout, this, &frmMail::showRunState);
    sbStatusBar->addWidget(sbPanel1, 1);
    sbStatusBar->addPermanentWidget(sbPanel2);
    sbStatusBar->addPermanentWidget(sbPanel3);
    m_clock = new QTimer(this);
    connect(m_clock, &QTimer::timeout, this, &frmMail::refreshClock);
    m_clock->start(1000);
    refreshClock();
}
