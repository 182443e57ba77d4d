#include "dialogexcel.h"

#include "addressdb.h"
#include "appcontext.h"
#include "apptitle.h"
#include "importgridmodel.h"
#include "importlistprint.h"
#include "platform.h"
#include "programfolder.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "textfile.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStringListModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Grid column width in twips, the unit the stored window positions use.
constexpr int kColumnWidth = 3000;

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

QStringList gridHeader()
{
    return {QStringLiteral("宛先１"), QStringLiteral("宛先２"), QStringLiteral("メールアドレス")};
}

// "description|pattern|description|pattern" as pairs for the file dialog.
QList<QPair<QString, QString>> filterPairs(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QList<QPair<QString, QString>> out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out.append({parts.at(i), parts.at(i + 1)});
    return out;
}

FileDialogSpec openSpec()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("開く");
    spec.fileName = QString();
    spec.filters = filterPairs(QStringLiteral("すべてのファイル (*.*)|*.*|")
                               + QStringLiteral("csv ﾌｧｲﾙ (*.csv)|*.csv"));
    spec.filterIndex = 2;
    return spec;
}

// Why a file was not read: the limit it passed, and the file.
QString overLimitText(const ImportPreview &p, const QString &path)
{
    switch (p.overLimit) {
    case ListLimit::None: break;
    case ListLimit::File:
        return QStringLiteral("ファイルが大きすぎます（%1 まで）。\n").arg(sizeLimitText(kMaxListFileBytes)) + path;
    case ListLimit::Line:
        return QStringLiteral("%1 行目が長すぎます（%2 まで）。\n").arg(p.overLimitAt).arg(sizeLimitText(kMaxLineBytes))
               + path;
    case ListLimit::Record:
        return QStringLiteral("%1 件目のデータが長すぎます（%2 文字まで）。\n").arg(p.overLimitAt).arg(kMaxLineBytes)
               + path;
    }
    return {};
}

} // namespace

DialogExcel::DialogExcel(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("DialogExcel"));
    setWindowTitle(QStringLiteral("宛先のｲﾝﾎﾟｰﾄ  ｶﾝﾏ区切（CSV）形式のﾃｷｽﾄﾌｧｲﾙから宛先のｲﾝﾎﾟｰﾄ"));
    buildControls();
    layOutControls();
    buildMenus();
    Form_Load();
}

DialogExcel::~DialogExcel() = default;

void DialogExcel::inform(const QString &text)
{
    platform().messageBox(this, text, QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
}

Platform &DialogExcel::platform()
{
    return *m_ctx.platform;
}

AddressDb *DialogExcel::database() const
{
    return m_ctx.addressDb && m_ctx.addressDb->isOpen() ? m_ctx.addressDb : nullptr;
}

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

QStringList DialogExcel::list1Items() const
{
    return m_list1->addresses();
}
QStringList DialogExcel::list2Items() const
{
    return m_list2->stringList();
}

void DialogExcel::resetGrid1()
{
    m_grid1->setHeaderRow(gridHeader());
    m_grid1->clearRows();
    for (int c = 0; c < 3; ++c)
        MSFlexGrid1->setColumnWidth(c, twipsToPx(kColumnWidth));
}

void DialogExcel::resetGrid2()
{
    m_grid2->clearRows();
    for (int c = 0; c < 3; ++c)
        MSFlexGrid2->setColumnWidth(c, twipsToPx(kColumnWidth));
}

void DialogExcel::Form_Load()
{
    // Each step stands alone; a stored value that is no number keeps the
    // design position.
    int left = x(), top = y();
    if (const auto v = m_ctx.settings->singleValue(Setting::DialogLeft))
        left = twipsToPx(*v);
    if (const auto v = m_ctx.settings->singleValue(Setting::DialogTop))
        top = twipsToPx(*v);
    move(left, top);

    showRejected(false);
    openAtDesignSize();
    resetGrid1();
    resetGrid2();

    mnuPrint->setEnabled(false);
    Text1->hide();
}

void DialogExcel::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        Form_Activate();
    }
}

void DialogExcel::Form_Activate()
{
    platform().setBusy(false);
}

void DialogExcel::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void DialogExcel::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_ctx.settings->setValue(Setting::DialogLeft, QString::number(pxToTwips(x())));
    m_ctx.settings->setValue(Setting::DialogTop, QString::number(pxToTwips(y())));
}

bool DialogExcel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label4_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool DialogExcel::chooseFile()
{
    const FileDialogResult r = platform().openFileDialog(this, openSpec());
    if (r.cancelled || r.files.isEmpty() || r.files.first().isEmpty())
        return false;
    txtFileName->setText(r.files.first());
    return true;
}

void DialogExcel::Command2_Click()
{
    mnuExcel_Click();
}

void DialogExcel::mnuExcel_Click()
{
    if (chooseFile())
        Command5_Click();
}

void DialogExcel::Command4_Click()
{
    if (txtFileName->text().isEmpty() && !chooseFile())
        return;
    // After editing the file the user comes back to run the preview again.
    Command5->setFocus();
    BusyPointer busy(platform());
    platform().shellOpen(this, txtFileName->text());
    busy.release();
    update();
}

void DialogExcel::mnuExcelOpen_Click()
{
    Command4_Click();
}

void DialogExcel::mnuInport_Click()
{
    Command5_Click();
}

void DialogExcel::Command5_Click()
{
    const QString path = txtFileName->text();
    if (path.isEmpty())
        return;
    BusyPointer busy(platform());
    mnuPrint->setEnabled(true);
    Label2->show();
    Label3->hide();
    Text1->hide();
    Text1->setText(QString());

    SendList &sendList = *m_ctx.sendList;
    sendList.beginBatch();
    sendList.clear();
    m_list1->clearRows();
    m_list2->setStringList({});
    resetGrid1();
    resetGrid2();

    ImportPreview p = previewImportFile(path);

    // What was read before a failure stays in the send list, the hidden list
    // and the rejected grid. The send list and the grid share one copy.
    sendList.setRows(p.usable);
    sendList.endBatch();
    m_list1->setRows(p.usable, std::move(p.byAddress));
    m_grid2->setRows(p.rejected);

    if (p.failed) {
        // The usable grid stays empty, so a commit takes nothing from it.
        m_grid1->clearRows();
        busy.release();
        if (p.encodingUnknown) {
            inform(QStringLiteral("文字コードを判別できません。\n") + path);
            return;
        }
        // A file too large to read is not handed to another program either.
        if (p.overLimit != ListLimit::None) {
            inform(overLimitText(p, path));
            return;
        }
        inform(QStringLiteral("インポートに失敗しました。データ形式、配列を確認してください。"));
        // Let the user look at the file in its own program.
        platform().shellOpen(this, path);
        return;
    }

    const qsizetype usableCount = p.usable.size();
    const qsizetype rejectedCount = p.rejected.size();
    m_grid1->setRows(p.usable);

    Label2->setText(QStringLiteral("ｲﾝﾎﾟｰﾄした宛先　") + QString::number(usableCount) + QStringLiteral("件"));
    Label2->show();

    m_list2->setStringList(p.duplicates);

    if (rejectedCount != 0)
        Label3->setText(QStringLiteral("ｲﾝﾎﾟｰﾄしなかった宛先　") + QString::number(rejectedCount)
                        + QStringLiteral("件"));
    showRejected(rejectedCount != 0);

    Label5->setText(QStringLiteral("二重登録されているﾒｰﾙｱﾄﾞﾚｽ ") + QString::number(p.duplicates.size())
                    + QStringLiteral("件"));

    busy.release();
    Text2->setFocus();
}

void DialogExcel::Command1_Click()
{
    const QString category = Text2->text();
    ImportCommitter committer(database());
    ImportCommitResult r;
    {
        BusyPointer busy(platform());
        r = committer.commit(category, m_grid1->dataRows(), platform().now().date());
    }
    if (r.outcome == ImportCommitResult::EmptyCategory) {
        inform(QStringLiteral("インポート区分名を入力してください。"));
        Text2->setFocus();
        return;
    }
    if (r.outcome == ImportCommitResult::CategoryInUse) {
        inform(QStringLiteral("インポート区分名が重複しています。インポート区分名を変更してください。"));
        Text2->setFocus();
        return;
    }
    if (r.notStored > 0) {
        inform(QString::number(r.notStored) + QStringLiteral("件の宛先をデータベースに登録できませんでした。"));
    }
    accept();
}

void DialogExcel::Command3_Click()
{
    m_ctx.sendList->clear();
    reject();
}

void DialogExcel::mnuEnd_Click()
{
    close();
}

void DialogExcel::List2_Click()
{
    const QModelIndex current = List2->currentIndex();
    const QString selected = current.isValid() ? current.data().toString() : QString();
    if (current.isValid()) {
        const ImportRows &rows = m_grid1->dataRows();
        const QByteArray key = selected.toUtf8();
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (rows.utf8(r, 2) == key) {
                Text1->setText(rows.text(r, 0));
                Text1->show();
                return;
            }
        }
    }
    Text1->setText(QString());
    Text1->hide();
}

void DialogExcel::Label4_Click()
{
    mnuHelpInport_Click();
}

void DialogExcel::mnuHelpInport_Click()
{
    openHelp(platform(), this, QStringLiteral("import"));
}

void DialogExcel::mnuPrint_Click()
{
    if (!platform().printDialog(this, QStringLiteral("印刷")))
        return;
    BusyPointer busy(platform());
    // A file that cannot be read prints nothing, without a message.
    if (std::unique_ptr<PrintJob> job = platform().startPrintJob())
        printImportFile(*job, txtFileName->text());
}

void DialogExcel::mnuPrinterSet_Click()
{
    platform().printerSetupDialog(this, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
}
