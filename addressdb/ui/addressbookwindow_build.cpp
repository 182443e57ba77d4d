#include "addressbookwindow.h"

#include "addressrowmodel.h"
#include "apptitle.h"
#include "toolbaricons.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSizePolicy>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

// Building the address book: its controls, menus, toolbar and layout, and
// the toolbar's dispatch by key.

namespace {

// Toolbar keys.
const QString kKeyImport = QStringLiteral("宛先のインポート");
const QString kKeyToggle = QStringLiteral("送信区分変更");
const QString kKeyCut = QStringLiteral("宛先の削除");
const QString kKeyDeleteAll = QStringLiteral("すべて削除");
const QString kKeyInsert = QStringLiteral("送信リストに挿入");
const QString kKeyAdd = QStringLiteral("宛先の追加");

// Grid column widths in twips, by column position.
constexpr int kColumnTwips[] = {0, 800, 2400, 3000, 3000, 3000, 1600, 2000};

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

} // namespace

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
    mnuSuppressed = add(view, QStringLiteral("mnuSuppressed"), QStringLiteral("配信停止中のアドレス(&U)..."),
                        &DialogMail::mnuSuppressed_Click);
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

void DialogMail::setDeleteAllEnabled(bool on)
{
    // The menu entry and the toolbar button follow the hidden button, so
    // delete-all-shown only ever runs the clauses of the rows on screen.
    Command6->setEnabled(on);
    mnuDelete->setEnabled(on);
    if (QAction *a = toolbarButton(kKeyDeleteAll))
        a->setEnabled(on);
}

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
