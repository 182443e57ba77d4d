// The import window's controls, where the layouts place them, and its menus.

#include "dialogexcel.h"

#include "apptitle.h"
#include "importgridmodel.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStringListModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// The usable grid's heights in twips: alone, and above the rejected grid.
constexpr int kGridHeightTall = 3855;
constexpr int kGridHeightShort = 3375;

// Design width in pixels; the height follows from the usable grid's.
constexpr int kDesignWidth = 640;
constexpr int kMargin = 8;
constexpr int kSpacing = 6;
// Design heights in pixels of the grid and the list that do not grow.
constexpr int kRejectedGridHeight = 116;
constexpr int kDuplicateListHeight = 92;
// Rows the usable grid keeps in view at the window's minimum size.
constexpr int kMinimumGridRows = 3;

} // namespace

void DialogExcel::buildControls()
{
    auto label = [&](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [&](const char *name, const QString &text, const QString &tip) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    auto grid = [&](const char *name, ImportGridModel *model) {
        auto *g = new QTableView(this);
        g->setObjectName(QLatin1String(name));
        g->setModel(model);
        g->setEditTriggers(QAbstractItemView::NoEditTriggers);
        g->setSelectionMode(QAbstractItemView::SingleSelection);
        g->setWordWrap(false);
        g->verticalHeader()->hide();
        g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 6);
        g->horizontalHeader()->setHighlightSections(false);
        return g;
    };

    Label1 = label("Label1", QStringLiteral("ﾌｧｲﾙ名(&N)"));
    txtFileName = new QLineEdit(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    Label1->setBuddy(txtFileName);
    Command2 = button("Command2", QStringLiteral("ﾌｧｲﾙを開く(&B)"), QStringLiteral("ファイルを開いてｲﾝﾎﾟｰﾄします"));

    Label4 = label("Label4", QStringLiteral("インポート区分名(&N)"));
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->installEventFilter(this);
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Label4->setBuddy(Text2);

    Label2 = label("Label2", QStringLiteral("ｲﾝﾎﾟｰﾄした宛先"));
    m_grid1 = new ImportGridModel(this);
    MSFlexGrid1 = grid("MSFlexGrid1", m_grid1);

    Label3 = label("Label3", QStringLiteral("ｲﾝﾎﾟｰﾄに失敗した宛先"));
    m_grid2 = new ImportGridModel(this);
    m_grid2->setShowsRefusal(true);
    MSFlexGrid2 = grid("MSFlexGrid2", m_grid2);
    MSFlexGrid2->horizontalHeader()->hide();

    Label5 = label("Label5", QStringLiteral("二重登録されているﾒｰﾙｱﾄﾞﾚｽ"));
    m_list2 = new QStringListModel(this);
    List2 = new QListView(this);
    List2->setObjectName(QStringLiteral("List2"));
    List2->setModel(m_list2);
    List2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List2->setUniformItemSizes(true);
    List2->setStyleSheet(QStringLiteral("QListView { background-color: rgb(230, 230, 242); }"));
    connect(List2, &QListView::clicked, this, &DialogExcel::List2_Click);
    connect(List2->selectionModel(), &QItemSelectionModel::currentChanged, this, &DialogExcel::List2_Click);
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);

    m_list1 = new SortedAddressModel(this);
    List1 = new QListView(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setModel(m_list1);
    List1->setUniformItemSizes(true);
    List1->hide();

    Command5 = button("Command5", QStringLiteral("更新(&U)"), QStringLiteral("再度インポート処理を行います"));
    Command4 = button("Command4", QStringLiteral("Excel(&E)"), QStringLiteral("エクセルでファイルを開きます"));
    Command1 = button("Command1", QStringLiteral("OK"), QString());
    Command3 = button("Command3", QStringLiteral("ｷｬﾝｾﾙ"), QString());

    connect(Command2, &QPushButton::clicked, this, &DialogExcel::Command2_Click);
    connect(Command4, &QPushButton::clicked, this, &DialogExcel::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &DialogExcel::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &DialogExcel::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &DialogExcel::Command3_Click);

    setTabOrder(txtFileName, Command2);
    setTabOrder(Command2, Text2);
    setTabOrder(Text2, MSFlexGrid1);
    setTabOrder(MSFlexGrid1, MSFlexGrid2);
    setTabOrder(MSFlexGrid2, List2);
    setTabOrder(List2, Command5);
    setTabOrder(Command5, Command4);
    setTabOrder(Command4, Command1);
    setTabOrder(Command1, Command3);
}

// The usable grid takes whatever height the window gives or takes; the
// fields, the rejected grid, the duplicates and the buttons keep theirs.
void DialogExcel::layOutControls()
{
    auto *fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(txtFileName, 0, 1);
    fields->addWidget(Command2, 0, 2);
    fields->addWidget(Label4, 1, 0);
    fields->addWidget(Text2, 1, 1);
    fields->setColumnStretch(1, 1);

    auto keepRoomWhenHidden = [](QWidget *w) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    };
    MSFlexGrid1->setMinimumHeight(MSFlexGrid1->horizontalHeader()->sizeHint().height()
                                  + kMinimumGridRows * MSFlexGrid1->verticalHeader()->defaultSectionSize()
                                  + MSFlexGrid1->horizontalScrollBar()->sizeHint().height()
                                  + 2 * MSFlexGrid1->frameWidth());
    // The rejected grid keeps its room while hidden. The strip of its heading
    // takes from the usable grid the 480 twips between the grid's two
    // heights; the heading in it also hides alone while a preview runs.
    m_rejectedHeading = new QWidget(this);
    auto *strip = new QVBoxLayout(m_rejectedHeading);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addWidget(Label3, 0, Qt::AlignBottom);
    m_rejectedHeading->setMinimumHeight(twipsToPx(kGridHeightTall - kGridHeightShort) - kSpacing);
    MSFlexGrid2->setFixedHeight(kRejectedGridHeight);
    keepRoomWhenHidden(MSFlexGrid2);

    // The name of a duplicate shows beside the list without moving it.
    List2->setFixedHeight(kDuplicateListHeight);
    keepRoomWhenHidden(Text1);
    auto *duplicates = new QHBoxLayout;
    duplicates->addWidget(List2, 7);
    duplicates->addWidget(Text1, 4, Qt::AlignTop);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command5);
    buttons->addWidget(Command4);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command3);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    outer->setSpacing(kSpacing);
    outer->addLayout(fields);
    outer->addWidget(Label2);
    outer->addWidget(MSFlexGrid1, 1);
    outer->addWidget(m_rejectedHeading);
    outer->addWidget(MSFlexGrid2);
    outer->addWidget(Label5);
    outer->addLayout(duplicates);
    outer->addLayout(buttons);
}

// The window opens at the height that gives the usable grid alone its
// design height.
void DialogExcel::openAtDesignSize()
{
    settleLayout();
    resize(kDesignWidth, height() + twipsToPx(kGridHeightTall) - MSFlexGrid1->height());
    settleLayout();
}

// Places the controls now rather than at the next event, so that sizes read
// right after a change are the ones the window shows.
void DialogExcel::settleLayout()
{
    layout()->invalidate();
    layout()->activate();
}

void DialogExcel::showRejected(bool shown)
{
    m_rejectedHeading->setVisible(shown);
    Label3->setVisible(shown);
    MSFlexGrid2->setVisible(shown);
    settleLayout();
}

void DialogExcel::buildMenus()
{
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    layout()->setMenuBar(menuBar);

    auto add = [&](QMenu *menu, const char *name, const QString &text, void (DialogExcel::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    mnuFile = menuBar->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExcel = add(mnuFile, "mnuExcel", QStringLiteral("ﾌｧｲﾙを開いてｲﾝﾎﾟｰﾄ(&O)"), &DialogExcel::mnuExcel_Click);
    mnuExcelOpen = add(mnuFile, "mnuExcelOpen", QStringLiteral("Excelで開く(&E)"), &DialogExcel::mnuExcelOpen_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuBar0"));
    mnuInport = add(mnuFile, "mnuInport", QStringLiteral("更新(&U)"), &DialogExcel::mnuInport_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuBar1"));
    mnuPrint = add(mnuFile, "mnuPrint", QStringLiteral("印刷(&P)..."), &DialogExcel::mnuPrint_Click);
    mnuPrinterSet = add(mnuFile, "mnuPrinterSet", QStringLiteral("ﾌﾟﾘﾝﾀの設定(&U)..."),
                        &DialogExcel::mnuPrinterSet_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuBar2"));
    mnuEnd = add(mnuFile, "mnuEnd", QStringLiteral("閉じる(&X)"), &DialogExcel::mnuEnd_Click);

    mnuHelp = menuBar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpInport = add(mnuHelp, "mnuHelpInport", QStringLiteral("目次＆ｷｰﾜｰﾄﾞ(&H)"),
                        &DialogExcel::mnuHelpInport_Click);
    mnuHelpInport->setShortcut(QKeySequence::HelpContents);
}
