#include "addressbookwindow.h"

#include "addressedit.h"
#include "addressexport.h"
#include "addresslistprint.h"
#include "addressrowmodel.h"
#include "appcontext.h"
#include "apptitle.h"
#include "databasefiles.h"
#include "platform.h"
#include "programfolder.h"
#include "recipientdialog.h"
#include "recipientrows.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "toolbaricons.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSizePolicy>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString kTitleInfo = QStringLiteral("Information");
const QString kTitleQuestion = QStringLiteral("Question");
const QString kConnectFailed = QStringLiteral("データベースの接続に失敗しました。");
const QString kSearchFailed = QStringLiteral("データベースの接続に失敗しました。検索条件を確認してください。");

// Toolbar keys.
const QString kKeyImport = QStringLiteral("宛先のインポート");
const QString kKeyToggle = QStringLiteral("送信区分変更");
const QString kKeyCut = QStringLiteral("宛先の削除");
const QString kKeyDeleteAll = QStringLiteral("すべて削除");
const QString kKeyInsert = QStringLiteral("送信リストに挿入");
const QString kKeyAdd = QStringLiteral("宛先の追加");

constexpr unsigned kNamesAndAddress = (1u << AddressRowModel::ColName1) | (1u << AddressRowModel::ColName2)
                                      | (1u << AddressRowModel::ColAddress);

// Grid column widths in twips, by column position.
constexpr int kColumnTwips[] = {0, 800, 2400, 3000, 3000, 3000, 1600, 2000};

// Design size in pixels.
constexpr int kDesignWidth = 1000;
constexpr int kDesignHeight = 600;

// Widths in the search panel: the label columns line the choosers and key
// boxes up as in the window's design, and the choosers and key boxes keep
// room for the longest item and a typical key.
constexpr int kLabelWidth = 80;
constexpr int kChooserWidth = 170;
constexpr int kKeyWidth = 200;
constexpr int kButtonWidth = 100;
constexpr int kCountWidth = 260;
// Rows the grid shows at least, under its header.
constexpr int kGridMinimumRows = 4;

// The filter list in its stored form, "description|pattern|description|...".
QList<QPair<QString, QString>> databaseFilters()
{
    const QString filter = QStringLiteral("すべてのファイル (*.*)|*.*|") + QStringLiteral("cdb ﾌｧｲﾙ (*.cdb)|*.cdb");
    const QStringList parts = filter.split(QLatin1Char('|'));
    QList<QPair<QString, QString>> out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out.append({parts[i], parts[i + 1]});
    return out;
}

// Both file dialogs of the window: an empty name, the .cdb files preselected.
FileDialogSpec databaseDialog(const QString &title)
{
    FileDialogSpec dialog;
    dialog.title = title;
    dialog.filters = databaseFilters();
    dialog.filterIndex = 2;
    return dialog;
}

} // namespace

void showAddressBook(AppContext &ctx, QWidget *owner)
{
    auto *dlg = new DialogMail(ctx, owner);
    ctx.platform->showModal(dlg);
    delete dlg;
}

DialogMail::DialogMail(AppContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_files(m_db, defaultDatabasePath(ctx.platform->programFolder()))
{
    setObjectName(QStringLiteral("DialogMail"));
    setWindowTitle(QStringLiteral("宛先のインポート"));
    setSizeGripEnabled(true);
    ResultSet = new AddressRowModel(this);
    buildControls();
    buildMenus();
    buildToolBar();
    buildLayout();
    resize(kDesignWidth, kDesignHeight);
    Form_Load();
}

DialogMail::~DialogMail()
{
    Form_Unload();
}

Platform &DialogMail::platform()
{
    return *m_ctx.platform;
}
SettingsStore &DialogMail::settings()
{
    return *m_ctx.settings;
}

QString DialogMail::countText(int n)
{
    return QStringLiteral("　該当する宛先　") + QString::number(n) + QStringLiteral("件");
}

void DialogMail::releaseOwedPointer()
{
    if (m_pointerOwed) {
        m_pointerOwed = false;
        platform().setBusy(false);
    }
}

void DialogMail::info(const QString &text)
{
    // No message under the hourglass the opener left for us.
    releaseOwedPointer();
    platform().messageBox(this, text, kTitleInfo, MsgIcon::Information, MsgButtons::Ok);
}

bool DialogMail::ask(const QString &text, MsgDefault defaultButton)
{
    releaseOwedPointer();
    return platform().messageBox(this, text, kTitleQuestion, MsgIcon::Question, MsgButtons::YesNo, defaultButton)
           == MsgAnswer::Yes;
}

// ---------------------------------------------------------------- building

void DialogMail::buildControls()
{
    menuBar = new QMenuBar(this);
    tbToolBar = new QToolBar(this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbToolBar->setIconSize(QSize(20, 20));

    buildSearchPanel();

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setFrame(false);
    Text1->setMinimumWidth(kCountWidth);

    buildGrid();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    sbPanel1 = new QLabel(StatusBar1);
    // A long path is cut at the window's edge; it never widens the window.
    sbPanel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(sbPanel1, 1);

    txtFileName = new QLineEdit(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->hide();
    // The status bar always shows the path in use.
    connect(txtFileName, &QLineEdit::textChanged, sbPanel1, &QLabel::setText);
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->hide();

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command6 = new QPushButton(QStringLiteral("選択した宛先をすべて削除(&K)"), this);
    Command6->setObjectName(QStringLiteral("Command6"));
    Command6->setToolTip(QStringLiteral("表示中の宛先すべてを削除します"));
    Command8 = new QPushButton(QStringLiteral("削除(&D)"), this);
    Command8->setObjectName(QStringLiteral("Command8"));
    Command8->setToolTip(QStringLiteral("選択したレコードを削除します"));
    for (QPushButton *b : {Command1, Command6, Command8}) {
        b->setAutoDefault(false);
        b->hide();
    }

    connect(Command2, &QPushButton::clicked, this, &DialogMail::Command2_Click);
    // Enter in a key box searches, as the button next to it would.
    connect(txtKey, &QLineEdit::returnPressed, this, &DialogMail::Command2_Click);
    connect(txtKey2, &QLineEdit::returnPressed, this, &DialogMail::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &DialogMail::Command1_Click);
    connect(Command6, &QPushButton::clicked, this, &DialogMail::Command6_Click);
    connect(Command8, &QPushButton::clicked, this, &DialogMail::Command8_Click);
    connect(Combo2, &QComboBox::activated, this, &DialogMail::Combo2_Click);
    connect(Combo1, &QComboBox::activated, this, &DialogMail::Combo1_Click);
    connect(Combo1, &QComboBox::editTextChanged, this, &DialogMail::Combo1_Change);
    // A change of the current row counts as a selection.
    connect(DataGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &cur) {
        if (cur.isValid())
            Command8->setEnabled(true);
    });
}

void DialogMail::buildSearchPanel()
{
    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Label1 = new QLabel(QStringLiteral("項目(&I)"), Frame3);
    Label2 = new QLabel(QStringLiteral("排出条件(&K)"), Frame3);
    Combo2 = new QComboBox(Frame3);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo1 = new QComboBox(Frame3);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    txtKey = new QLineEdit(Frame3);
    txtKey->setObjectName(QStringLiteral("txtKey"));
    txtKey2 = new QLineEdit(Frame3);
    txtKey2->setObjectName(QStringLiteral("txtKey2"));
    Label1->setBuddy(Combo2);
    Label2->setBuddy(txtKey);
    Check1 = new QCheckBox(QStringLiteral("排出条件に完全一致する宛先(&A)"), Frame3);
    Check1->setObjectName(QStringLiteral("Check1"));
    Command2 = new QPushButton(QStringLiteral("選択(&F)"), Frame3);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("該当する宛先を排出します"));
    Command2->setAutoDefault(false);

    // Field and key side by side, the second condition under the first, the
    // exact-match box below both; the panel's spare width stays empty at
    // the right.
    for (QComboBox *c : {Combo2, Combo1})
        c->setMinimumWidth(kChooserWidth);
    for (QLineEdit *k : {txtKey, txtKey2})
        k->setMinimumWidth(kKeyWidth);
    Command2->setMinimumWidth(kButtonWidth);
    auto *grid = new QGridLayout(Frame3);
    grid->setContentsMargins(10, 8, 10, 6);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(4);
    grid->setColumnMinimumWidth(0, kLabelWidth);
    grid->setColumnMinimumWidth(2, kLabelWidth);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Combo2, 0, 1);
    grid->addWidget(Label2, 0, 2);
    grid->addWidget(txtKey, 0, 3);
    grid->addWidget(Command2, 0, 4);
    grid->addWidget(Combo1, 1, 1);
    grid->addWidget(txtKey2, 1, 3);
    grid->addWidget(Check1, 2, 1, 1, 3);
    grid->setColumnStretch(5, 1);
}

void DialogMail::buildGrid()
{
    DataGrid1 = new QTableView(this);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setModel(ResultSet);
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Names, address, category and memo are edited in place; the row model
    // stores each edit when the cell is left.
    DataGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                               | QAbstractItemView::AnyKeyPressed);
    connect(ResultSet, &AddressRowModel::editMessage, this, [this](const QString &message, bool) { info(message); });
    DataGrid1->setWordWrap(false);
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DataGrid1->verticalHeader()->setDefaultSectionSize(DataGrid1->fontMetrics().height() + 6);
    DataGrid1->verticalHeader()->setFixedWidth(16);
    DataGrid1->horizontalHeader()->setHighlightSections(false);
    DataGrid1->setMinimumHeight(DataGrid1->horizontalHeader()->sizeHint().height()
                                + kGridMinimumRows * DataGrid1->verticalHeader()->defaultSectionSize()
                                + DataGrid1->horizontalScrollBar()->sizeHint().height() + 2 * DataGrid1->frameWidth());
    applyGridLayout();
}

void DialogMail::buildLayout()
{
    // Menu, toolbar and status bar run from edge to edge; the panel, the
    // count and the grid keep a margin, and the grid takes what the window
    // gives. The window can't be made smaller than the layout needs, so
    // every control stays whole; the toolbar keeps all its buttons in view.
    tbToolBar->setMinimumWidth(tbToolBar->sizeHint().width());
    auto *body = new QVBoxLayout;
    body->setContentsMargins(8, 2, 8, 6);
    body->setSpacing(0);
    body->addWidget(Frame3);
    body->addWidget(Text1, 0, Qt::AlignLeft);
    body->addWidget(DataGrid1, 1);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->setMenuBar(menuBar);
    outer->addWidget(tbToolBar);
    outer->addLayout(body, 1);
    outer->addWidget(StatusBar1);
}

void DialogMail::buildMenus()
{
    auto add = [this](QMenu *m, const QString &name, const QString &caption, void (DialogMail::*slot)()) {
        QAction *a = m->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto bar = [](QMenu *m, const QString &name) { m->addSeparator()->setObjectName(name); };

    QMenu *file = menuBar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = add(file, QStringLiteral("mnuFileOpen"), QStringLiteral("開く(&O)"), &DialogMail::mnuFileOpen_Click);
    mnuSave = add(file, QStringLiteral("mnuSave"), QStringLiteral("名前を付けて保存(&S)"), &DialogMail::mnuSave_Click);
    mnuExcelInport = add(file, QStringLiteral("mnuExcelInport"),
                         QStringLiteral("ｶﾝﾏ区切（CSV）形式のﾌｧｲﾙから宛先のｲﾝﾎﾟｰﾄ(&I)"),
                         &DialogMail::mnuExcelInport_Click);
    mnuExport = add(file, QStringLiteral("mnuExport"), QStringLiteral("宛先のエクスポート(&T)..."),
                    &DialogMail::mnuExport_Click);
    bar(file, QStringLiteral("mnuBar1"));
    mnuPrint = add(file, QStringLiteral("mnuPrint"), QStringLiteral("印刷(&P)..."), &DialogMail::mnuPrint_Click);
    mnuPrinterSet = add(file, QStringLiteral("mnuPrinterSet"), QStringLiteral("ﾌﾟﾘﾝﾀの設定(&U)..."),
                        &DialogMail::mnuPrinterSet_Click);
    bar(file, QStringLiteral("mnuBar2"));
    mnuEntryf = add(file, QStringLiteral("mnuEntryf"), QStringLiteral("送信リストに挿入(&E)"),
                    &DialogMail::Command1_Click);
    bar(file, QStringLiteral("mnuBar3"));
    mnuEnd = add(file, QStringLiteral("mnuEnd"), QStringLiteral("閉じる(&X)"), &DialogMail::mnuEnd_Click);

    QMenu *view = menuBar->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName(QStringLiteral("mnuView"));
    mnuAdd = add(view, QStringLiteral("mnuAdd"), QStringLiteral("宛先の追加(&A)..."), &DialogMail::mnuAdd_Click);
    mnuSendCode = add(view, QStringLiteral("mnuSendCode"), QStringLiteral("送信区分変更(&C)"),
                      &DialogMail::mnuSendCode_Click);
    bar(view, QStringLiteral("mnuBar4"));
    mnuCut = add(view, QStringLiteral("mnuCut"), QStringLiteral("宛先の削除(&D)"), &DialogMail::Command8_Click);
    mnuDelete = add(view, QStringLiteral("mnuDelete"), QStringLiteral("選択した宛先をすべて削除(&K)"),
                    &DialogMail::Command6_Click);
    bar(view, QStringLiteral("mnuBar5"));
    mnuEntry = add(view, QStringLiteral("mnuEntry"), QStringLiteral("送信リストに挿入(&E)"),
                   &DialogMail::Command1_Click);

    QMenu *tools = menuBar->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
    tools->setObjectName(QStringLiteral("mnuTool"));
    mnuDataBase = add(tools, QStringLiteral("mnuDataBase"), QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽの修復/最適化(&C)"),
                      &DialogMail::mnuDataBase_Click);
    bar(tools, QStringLiteral("mnuBar6"));
    mnuDel = add(tools, QStringLiteral("mnuDel"), QStringLiteral("ﾃﾞｰﾀﾍﾞｰｽの初期化(&N)"), &DialogMail::mnuDel_Click);

    QMenu *help = menuBar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpkey = add(help, QStringLiteral("mnuHelpkey"), QStringLiteral("目次とｷｰﾜｰﾄﾞ(&H)"),
                     &DialogMail::mnuHelpkey_Click);
    mnuHelpkey->setShortcut(QKeySequence::HelpContents);
}

void DialogMail::buildToolBar()
{
    struct Button {
        QString key;
        QString caption;
        QString tip;
        const char *image;
    };
    const Button buttons[] = {
        {kKeyImport, QStringLiteral("宛先のインポート　"),
         QStringLiteral("ｶﾝﾏ区切（CSV）形式のﾌｧｲﾙから宛先のｲﾝﾎﾟｰﾄします"), "Open"},
        {kKeyAdd, QStringLiteral("宛先の追加　"), QStringLiteral("宛先を１件入力して追加します"), "New"},
        {kKeyToggle, QStringLiteral("送信区分変更　"),
         QStringLiteral("送信区分を変更します（Falseは送信を保留します）"), "Temp"},
        {kKeyCut, QStringLiteral("宛先の削除　　　"), QStringLiteral("選択したレコードを削除します"), "Cut"},
        {kKeyDeleteAll, QStringLiteral("すべて削除　　　"), QStringLiteral("表示中の宛先すべてを削除します"), "Delete"},
        {kKeyInsert, QStringLiteral("送信リストに挿入"), QString(), "Send"},
    };
    for (const Button &b : buttons) {
        QAction *a = tbToolBar->addAction(toolbarIcon(QLatin1String(b.image)), b.caption);
        a->setData(b.key);
        a->setToolTip(b.tip.isEmpty() ? b.caption : b.tip);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction *a) { tbToolBar_ButtonClick(a->data().toString()); });
}

QAction *DialogMail::toolbarButton(const QString &key) const
{
    for (QAction *a : tbToolBar->actions()) {
        if (a->data().toString() == key)
            return a;
    }
    return nullptr;
}

void DialogMail::applyGridLayout()
{
    for (int c = 0; c < AddressRowModel::ColumnCount; ++c)
        DataGrid1->setColumnWidth(c, twipsToPx(kColumnTwips[c]));
    DataGrid1->setColumnHidden(AddressRowModel::ColId, true);
}

// ---------------------------------------------------------------- lifecycle

void DialogMail::Form_Load()
{
    const auto left = settings().singleValue(Setting::DialogLeft);
    const auto top = settings().singleValue(Setting::DialogTop);
    if (left && top)
        move(twipsToPx(*left), twipsToPx(*top));

    Combo2->addItems(SearchClauseBuilder::firstItems());
    Combo1->addItems(SearchClauseBuilder::secondItems());
    Combo2->setCurrentText(SearchClauseBuilder::selectAllItem());
    txtKey->clear();
    txtKey->setEnabled(false);
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString());
    Combo1->setEnabled(false);
    txtKey2->clear();
    Check1->setChecked(false);

    DbFileName = settings().value(Setting::DatabaseFile);
    if (DbFileName.isEmpty())
        DbFileName = defaultDatabasePath(platform().programFolder());
    txtFileName->setText(DbFileName);
    ReconnectAddressDb();
    m_ctx.addressDb = &m_db;

    mnuPrint->setEnabled(false);
    setDeleteAllEnabled(false);
}

void DialogMail::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    const QPoint p = pos();
    settings().setValue(Setting::DialogLeft, QString::number(pxToTwips(p.x())));
    settings().setValue(Setting::DialogTop, QString::number(pxToTwips(p.y())));
    settings().setValue(Setting::DatabaseFile, DbFileName);
    ResultSet->clearRows();
    m_resultOpen = false;
    m_db.close();
    if (m_ctx.addressDb == &m_db)
        m_ctx.addressDb = nullptr;
    // Never leave the pointer busy behind a window that closed early.
    releaseOwedPointer();
}

void DialogMail::done(int r)
{
    Form_Unload();
    QDialog::done(r);
}

void DialogMail::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        Form_Activate();
    }
}

void DialogMail::Form_Activate()
{
    if (m_inActivate || m_unloaded)
        return;
    m_inActivate = true;
    // The whole panel goes back to "すべて選択": a second condition left over
    // from an earlier search would hide rows the import window just added.
    Combo2->setCurrentText(SearchClauseBuilder::selectAllItem());
    Combo2_Click();
    txtKey2->clear();
    Command2_Click();
    releaseOwedPointer();
    m_inActivate = false;
}

// ---------------------------------------------------------------- search panel

void DialogMail::setKeyInputMode(QLineEdit *box, const QString &item)
{
    switch (SearchClauseBuilder::keyInputMode(item)) {
    case KeyInputMode::Japanese:
        box->setAttribute(Qt::WA_InputMethodEnabled, true);
        box->setInputMethodHints(Qt::ImhNone);
        break;
    case KeyInputMode::Off:
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
        box->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
        break;
    case KeyInputMode::Unchanged: break;
    }
}

void DialogMail::Combo2_Click()
{
    const QString item = Combo2->currentText();
    setKeyInputMode(txtKey, item);
    if (item != SearchClauseBuilder::selectAllItem()) {
        txtKey->setEnabled(true);
        Combo1->setEnabled(true);
        txtKey->setFocus();
        if (item == SearchClauseBuilder::heldItem())
            txtKey->setText(QStringLiteral("False"));
    } else {
        txtKey->clear();
        txtKey->setEnabled(false);
        Combo1->setCurrentIndex(-1);
        Combo1->setEditText(QString());
        Combo1->setEnabled(false);
    }
    if (!Combo1->currentText().isEmpty() && Combo1->currentText() == Combo2->currentText()) {
        Combo1->setCurrentIndex(-1);
        Combo1->setEditText(QString());
    }
}

void DialogMail::Combo1_Click()
{
    const QString item = Combo1->currentText();
    setKeyInputMode(txtKey2, item);
    txtKey2->setEnabled(true);
    txtKey2->setFocus();
    if (item == SearchClauseBuilder::heldItem())
        txtKey2->setText(QStringLiteral("False"));
    if (Combo1->currentText() == Combo2->currentText()) {
        Combo1->setCurrentIndex(-1);
        Combo1->setEditText(QString());
    }
}

void DialogMail::Combo1_Change()
{
    if (Combo1->currentText().isEmpty())
        txtKey2->clear();
}

void DialogMail::setDeleteAllEnabled(bool on)
{
    // The menu entry and the toolbar button follow the hidden button, so
    // delete-all-shown only ever runs the clauses of the rows on screen.
    Command6->setEnabled(on);
    mnuDelete->setEnabled(on);
    if (QAction *a = toolbarButton(kKeyDeleteAll))
        a->setEnabled(on);
}

void DialogMail::Command2_Click()
{
    const QString item = Combo2->currentText();
    if (item.isEmpty()) {
        info(QStringLiteral("検索する項目を選んでください。"));
        return;
    }
    if (txtKey->text().isEmpty() && item != SearchClauseBuilder::selectAllItem()) {
        info(QStringLiteral("検索する条件を入力してください。"));
        return;
    }
    BusyPointer busy(platform());
    Text1->clear();
    FilterClause = {};
    FilterClause2 = {};
    const bool exact = Check1->isChecked();
    FilterClause = SearchClauseBuilder::firstClause(item, txtKey->text(), exact);
    if (!Combo1->currentText().isEmpty())
        FilterClause2 = SearchClauseBuilder::secondClause(Combo1->currentText(), txtKey2->text(), exact);
    const SqlStatement st = SearchClauseBuilder::selectIdsStatement(FilterClause, FilterClause2);
    const bool ok = st.error.isEmpty() && showResults(st.text, st.params);
    busy.release();
    if (!ok) {
        // The previous rows stay on screen, but nothing acts on them until
        // a search succeeds again.
        m_resultOpen = false;
        setDeleteAllEnabled(false);
        info(kSearchFailed);
        return;
    }
    mnuPrint->setEnabled(true);
    setDeleteAllEnabled(true);
}

bool DialogMail::showResults(const QString &sql, const QVariantList &params)
{
    if (!ResultSet->load(m_db, sql, params))
        return false;
    m_resultOpen = true;
    applyGridLayout();
    if (ResultSet->count() > 0)
        setCurrentRow(0);
    DataGrid1->setVisible(true);
    Text1->setText(countText(ResultSet->count()));
    return true;
}

int DialogMail::currentRow() const
{
    const QModelIndex i = DataGrid1->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void DialogMail::setCurrentRow(int row)
{
    if (row < 0 || row >= ResultSet->count())
        return;
    DataGrid1->setCurrentIndex(ResultSet->index(row, AddressRowModel::ColFlag));
}

// ---------------------------------------------------------------- actions

void DialogMail::tbToolBar_ButtonClick(const QString &key)
{
    if (key == kKeyImport)
        mnuExcelInport_Click();
    else if (key == kKeyToggle)
        mnuSendCode_Click();
    else if (key == kKeyCut)
        Command8_Click();
    else if (key == kKeyDeleteAll)
        Command6_Click();
    else if (key == kKeyInsert)
        Command1_Click();
    else if (key == kKeyAdd)
        mnuAdd_Click();
}

void DialogMail::mnuAdd_Click()
{
    if (!m_db.isOpen()) {
        info(kConnectFailed);
        return;
    }
    RecipientDialog dlg(this);
    // The window comes back with what was typed until the row is stored or
    // the user cancels.
    while (platform().showModal(&dlg) == QDialog::Accepted) {
        const NewRecipient f = dlg.fields();
        const RecipientEdit address = checkRecipientField(AddressRowModel::ColAddress, f.address);
        if (!address.ok) {
            info(address.message);
            continue;
        }
        if (addressStored(m_db, f.address)
            && !ask(QStringLiteral("このメールアドレスはすでに登録されています。\n") + address.value
                        + QStringLiteral("\nもう１件登録しますか？"),
                    MsgDefault::No))
            continue;
        const RecipientEdit added = addRecipient(m_db, f, platform().now().date());
        if (!added.ok) {
            info(added.message);
            continue;
        }
        if (added.shortened)
            info(added.message);
        selectRecipient(added.id);
        return;
    }
}

void DialogMail::selectRecipient(qint64 id)
{
    auto rowOf = [this, id] {
        for (int r = ResultSet->count() - 1; r >= 0; --r)
            if (ResultSet->id(r) == id)
                return r;
        return -1;
    };
    Command2_Click();
    int row = rowOf();
    if (row < 0) {
        // The present search doesn't list it: list every address.
        Combo2->setCurrentText(SearchClauseBuilder::selectAllItem());
        Combo2_Click();
        txtKey2->clear();
        Command2_Click();
        row = rowOf();
    }
    if (row >= 0) {
        setCurrentRow(row);
        DataGrid1->scrollTo(ResultSet->index(row, AddressRowModel::ColName1));
    }
}

void DialogMail::mnuExport_Click()
{
    if (!m_resultOpen || !m_db.isOpen()) {
        info(kConnectFailed);
        return;
    }
    FileDialogSpec spec;
    spec.title = QStringLiteral("宛先のエクスポート");
    spec.filters = {{QStringLiteral("CSV ﾌｧｲﾙ (*.csv)"), QStringLiteral("*.csv")},
                    {QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")}};
    spec.overwritePrompt = true;
    const FileDialogResult r = platform().saveFileDialog(this, spec);
    if (r.cancelled || r.files.isEmpty())
        return;
    QString path = r.files.first();
    if (r.filterIndex == 1 && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");

    const RecipientSource rows = recipientsOf(*ResultSet);
    QString unwritable, error;
    std::optional<bool> fits;
    {
        BusyPointer busy(platform());
        fits = exportFitsCp932(rows, &unwritable, &error);
    }
    if (!fits) {
        info(kConnectFailed);
        return;
    }
    ExportEncoding encoding = ExportEncoding::Cp932;
    if (!*fits) {
        if (!ask(QStringLiteral("次の文字はシフトJISで保存できません。\n%1\n\nUTF-8 で保存しますか？").arg(unwritable)))
            return;
        encoding = ExportEncoding::Utf8WithBom;
    }
    bool ok;
    {
        BusyPointer busy(platform());
        ok = exportRecipients(path, rows, encoding, &error);
    }
    if (!ok) {
        info(error);
        return;
    }
    info(QString::number(ResultSet->count()) + QStringLiteral("件の宛先をエクスポートしました。\n") + path);
}

void DialogMail::Command1_Click()
{
    if (!m_resultOpen || !m_db.isOpen()) {
        info(kConnectFailed);
        return;
    }
    if (ResultSet->count() > 0) {
        BusyPointer busy(platform());
        DataGrid1->setVisible(false);
        SendList &list = *m_ctx.sendList;
        list.beginBatch();
        list.clear();
        // A row without an address can't be sent to; null names go in empty.
        RecipientRows rows;
        const bool ok = ResultSet->sendableRows(&rows);
        // What was read before a failure stays in the list.
        list.setRows(rows);
        list.endBatch();
        if (!ok) {
            busy.release();
            info(kConnectFailed);
            return;
        }
    }
    done(QDialog::Accepted);
}

void DialogMail::Command8_Click()
{
    if (!m_resultOpen || ResultSet->count() == 0)
        return;
    int row = currentRow();
    if (row < 0)
        return;
    const QString name = ResultSet->text(row, AddressRowModel::ColName1);
    if (!ask(QStringLiteral("選択した宛先(") + name + QStringLiteral(")を削除します。よろしいですか。"),
             MsgDefault::No))
        return;
    if (!ResultSet->deleteRow(m_db, row)) {
        // Another program's lock or a vanished file: the row stays.
        info(kConnectFailed);
        return;
    }
    Text1->setText(countText(ResultSet->count()));
    if (ResultSet->count() == 0) {
        Command8->setEnabled(false);
        return;
    }
    // The next row moved into this place; past the end, take the last.
    setCurrentRow(qMin(row, ResultSet->count() - 1));
}

void DialogMail::Command6_Click()
{
    if (!Command6->isEnabled())
        return;
    if (!ask(QStringLiteral("表示中の宛先すべてを削除します。よろしいですか。"), MsgDefault::No))
        return;
    const SqlStatement st = SearchClauseBuilder::deleteStatement(FilterClause, FilterClause2);
    QString err;
    if (!st.error.isEmpty() || !m_db.exec(st.text, st.params, &err)) {
        info(QStringLiteral("表示中の宛先を削除できませんでした。"));
        return;
    }
    Command2_Click();
    info(QStringLiteral("表示中の宛先すべてを削除しました。"));
    if (m_resultOpen)
        Text1->setText(countText(ResultSet->count()));
}

void DialogMail::mnuSendCode_Click()
{
    if (!m_resultOpen)
        return;
    const int row = currentRow();
    if (row < 0)
        return;
    if (!ResultSet->toggleSendFlag(m_db, row))
        info(kConnectFailed);
}

void DialogMail::mnuExcelInport_Click()
{
    if (m_ctx.openImportWindow)
        m_ctx.openImportWindow(this);
    Combo2->setFocus();
}

void DialogMail::mnuHelpkey_Click()
{
    openHelp(platform(), this, QStringLiteral("address-book"));
}

void DialogMail::mnuEnd_Click()
{
    reject();
}

void DialogMail::mnuPrint_Click()
{
    if (!platform().printDialog(this, QStringLiteral("印刷")))
        return;
    BusyPointer busy(platform());
    if (!m_resultOpen)
        return;
    QList<AddressListRow> rows;
    rows.reserve(ResultSet->count());
    if (!ResultSet->readAll(
            [&rows](const AddressRowModel::Row &r) {
                rows.append({r.field(AddressRowModel::ColName1), r.field(AddressRowModel::ColName2),
                             r.field(AddressRowModel::ColAddress)});
            },
            nullptr, kNamesAndAddress))
        return;
    if (rows.isEmpty())
        return;
    if (auto job = platform().startPrintJob())
        printAddressList(*job, rows);
}

void DialogMail::mnuPrinterSet_Click()
{
    platform().printerSetupDialog(this, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
}

// ---------------------------------------------------------------- file operations

bool DialogMail::ReconnectAddressDb()
{
    return m_files.open(DbFileName);
}

void DialogMail::mnuFileOpen_Click()
{
    const FileDialogSpec dialog = databaseDialog(QStringLiteral("データベースの変更"));
    const FileDialogResult r = platform().openFileDialog(this, dialog);
    if (r.cancelled || r.files.isEmpty())
        return;
    Text2->setText(r.files.first());
    ChangeDataBase();
}

void DialogMail::ChangeDataBase()
{
    if (Text2->text().isEmpty()) {
        const auto answer = platform().inputBox(this,
                                                QStringLiteral("変更するデータベース ファイル名を入力してください。")
                                                    + QLatin1Char('\n')
                                                    + QStringLiteral("    例）C:\\VB6\\DB\\Backup.cdb"),
                                                QStringLiteral("ファイル名入力"));
        Text2->setText(answer.value_or(QString()));
    }
    if (Text2->text().isEmpty()) {
        info(QStringLiteral("データベースファイル名か入力されていません。"));
        return;
    }
    const QString path = Text2->text();
    const DatabaseFileResult r = m_files.switchTo(DbFileName, path);
    if (!r.ok) {
        QString text = QStringLiteral("データベースを開けませんでした。") + QLatin1Char('\n') + path;
        if (r.missing)
            text += QLatin1Char('\n') + QStringLiteral("ファイルが見つかりません。");
        info(text);
        return;
    }
    DbFileName = path;
    txtFileName->setText(DbFileName);
    settings().setValue(Setting::DatabaseFile, DbFileName);

    // Until the next search the stored clauses belong to the other file.
    setDeleteAllEnabled(false);
    if (!showResults(SearchClauseBuilder::selectAllIdsSql(), {})) {
        // Nothing of the previous file stays on screen as if it were here.
        ResultSet->clearRows();
        m_resultOpen = false;
        return;
    }
    Combo2->setCurrentText(SearchClauseBuilder::selectAllItem());
}

void DialogMail::mnuSave_Click()
{
    const FileDialogSpec dialog = databaseDialog(QStringLiteral("名前を付けて保存"));
    const FileDialogResult r = platform().saveFileDialog(this, dialog);
    if (r.cancelled || r.files.isEmpty())
        return;
    const QString target = r.files.first();
    if (DatabaseFiles::sameFile(target, DbFileName)) {
        info(QStringLiteral("ファイル名が不正です。"));
        return;
    }
    if (QFileInfo::exists(target)
        && !ask(QStringLiteral("指定した名前のファイルが存在します。") + QLatin1Char('\n')
                + QStringLiteral("上書きしますか？")))
        return;
    if (!m_files.saveAs(DbFileName, target).ok) {
        // The window stays on the file it had.
        info(QStringLiteral("データベースの保存に失敗しました。"));
        return;
    }
    DbFileName = target;
    txtFileName->setText(DbFileName);
    settings().setValue(Setting::DatabaseFile, DbFileName);
    sbPanel1->setText(DbFileName);
}

void DialogMail::mnuDataBase_Click()
{
    BusyPointer busy(platform());
    const DatabaseFileResult r = m_files.compact(DbFileName);
    busy.release();
    if (!r.ok) {
        QString text = QStringLiteral("データベースを最適化できませんでした。");
        if (!r.leftover.isEmpty())
            text += QLatin1Char('\n') + QStringLiteral("一時ファイル「") + r.leftover
                    + QStringLiteral("」が残っています。このファイルを削除してから、もう一度実行してください。");
        info(text);
        return;
    }
    info(QStringLiteral("データベースを最適化しました。"));
}

void DialogMail::mnuDel_Click()
{
    if (!ask(QStringLiteral("データベースを初期化します。よろしいですか。"), MsgDefault::No))
        return;
    if (!m_files.initialise().ok) {
        info(QStringLiteral("データベースを初期化できませんでした。"));
        return;
    }
    Command2_Click();
    info(QStringLiteral("データベースを初期化しました。"));
}
