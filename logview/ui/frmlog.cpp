#include "frmlog.h"

#include "appcontext.h"
#include "apptitle.h"
#include "logreader.h"
#include "platform.h"
#include "programfolder.h"
#include "settingsstore.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QStatusBar>
#include <QTableWidget>

namespace {

QString titleSaveAs()
{
    return QStringLiteral("名前を付けて保存");
}

constexpr int kColumnTwips[] = {2600, 2600, 3000, 4000, 2600};
constexpr int kDesignWidth = 1020;
constexpr int kDesignHeight = 560;
constexpr int kLeft = 12;
constexpr int kBoxLeft = 84;
constexpr int kBoxHeight = 24;

// "description|pattern|description|pattern" as a list of pairs.
QList<QPair<QString, QString>> dialogFilters(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QList<QPair<QString, QString>> filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters.append({parts.at(i), parts.at(i + 1)});
    return filters;
}

} // namespace

frmLog::frmLog(AppContext &ctx, QWidget *owner) : QDialog(owner), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("送信済ログ"));
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    resize(kDesignWidth, kDesignHeight);
    buildControls();
    buildMenus();
    Form_Load();
}

frmLog::~frmLog() = default;

Platform &frmLog::platform()
{
    return *m_ctx.platform;
}
SettingsStore &frmLog::settings()
{
    return *m_ctx.settings;
}

void frmLog::buildControls()
{
    auto label = [&](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->adjustSize();
        return l;
    };
    auto box = [&](const char *name) {
        auto *t = new QLineEdit(this);
        t->setObjectName(QLatin1String(name));
        t->setReadOnly(true);
        return t;
    };
    Label2 = label("Label2", QStringLiteral("Date Time:"));
    Text2 = box("Text2");
    Label1 = label("Label1", QStringLiteral("Subject :"));
    Text1 = box("Text1");
    Label2->setBuddy(Text2);
    Label1->setBuddy(Text1);

    MSFlexGrid1 = new QTableWidget(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    MSFlexGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    MSFlexGrid1->setWordWrap(false);

    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setSizeGripEnabled(false);
    sbPanel1 = new QLabel(sbStatusBar);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sbPanel1->setContentsMargins(4, 0, 4, 0);
    sbStatusBar->addWidget(sbPanel1, 1);
}

void frmLog::buildMenus()
{
    menuBar = new QMenuBar(this);
    auto add = [&](QMenu *menu, const char *name, const QString &text, void (frmLog::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto menu = [&](const char *name, const QString &text) {
        QMenu *m = menuBar->addMenu(text);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    mnuFile = menu("mnuFile", QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuFileOpen = add(mnuFile, "mnuFileOpen", QStringLiteral("送信済ログファイルを開く(&O)"),
                      &frmLog::mnuFileOpen_Click);
    fileSaveAs = add(mnuFile, "fileSaveAs", QStringLiteral("送信済ログファイルを保存(&S)"), &frmLog::fileSaveAs_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuBar0"));
    mnuClose = add(mnuFile, "mnuClose", QStringLiteral("閉じる(&X)"), &frmLog::mnuClose_Click);
    mnuHelp = menu("mnuHelp", QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelpOpen = add(mnuHelp, "mnuHelpOpen", QStringLiteral("目次＆ｷｰﾜｰﾄﾞ(&C)"), &frmLog::mnuHelpOpen_Click);
    mnuHelpOpen->setShortcut(QKeySequence::HelpContents);
}

void frmLog::setUpGrid()
{
    MSFlexGrid1->clear();
    MSFlexGrid1->setRowCount(0);
    MSFlexGrid1->setColumnCount(5);
    MSFlexGrid1->setHorizontalHeaderLabels({QStringLiteral("Name1"), QStringLiteral("Name2"),
                                            QStringLiteral("Mail Address"), QStringLiteral("Status"),
                                            QStringLiteral("Date Time")});
    for (int c = 0; c < 5; ++c)
        MSFlexGrid1->setColumnWidth(c, twipsToPx(kColumnTwips[c]));
}

bool frmLog::showLog(const LogContents &log)
{
    if (log.hasHeader) {
        Text1->setText(log.header.at(3));
        Text1->setCursorPosition(0);
        Text2->setText(log.header.at(4));
        sbPanel1->setText(logStatusText(log.header));
    }
    // The first column is fixed, drawn like the header.
    const QBrush fixed = palette().button();
    MSFlexGrid1->setUpdatesEnabled(false);
    MSFlexGrid1->setRowCount(int(log.rows.size()));
    for (int r = 0; r < log.rows.size(); ++r) {
        const QStringList &row = log.rows.at(r);
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(row.at(c));
            // Long error texts stay readable past the column's edge.
            item->setToolTip(row.at(c));
            if (c == 0) {
                item->setBackground(fixed);
                item->setFlags(Qt::ItemIsEnabled);
            }
            MSFlexGrid1->setItem(r, c, item);
        }
    }
    MSFlexGrid1->setUpdatesEnabled(true);
    return log.complete;
}

void frmLog::Form_Load()
{
    const auto state = settings().int16Value(Setting::LogWindowState);
    if (state && *state == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (state && *state == 1)
        setWindowState(windowState() | Qt::WindowMinimized);

    setUpGrid();
    // The opener set the busy pointer before the window was built.
    platform().setBusy(false);

    LogFilePath = joinProgramFolder(platform().programFolder(), logFileName());
    if (!QFileInfo::exists(LogFilePath)) {
        UnsavedLog = false;
        return;
    }
    UnsavedLog = showLog(readLogFile(LogFilePath));
}

void frmLog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmLog::Form_Resize()
{
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), menuHeight);
    const int statusHeight = sbStatusBar->sizeHint().height();
    sbStatusBar->setGeometry(0, height() - statusHeight, width(), statusHeight);

    const int row1 = menuHeight + 8;
    const int row2 = row1 + kBoxHeight + 6;
    Label2->move(kLeft, row1 + (kBoxHeight - Label2->height()) / 2);
    Text2->setGeometry(kBoxLeft, row1, twipsToPx(3000), kBoxHeight);
    Label1->move(kLeft, row2 + (kBoxHeight - Label1->height()) / 2);

    // Nothing to fit while minimised or squeezed below the top block.
    if (isMinimized())
        return;
    const int gridTop = row2 + kBoxHeight + 10;
    const int gridHeight = height() - statusHeight - 6 - gridTop;
    const int gridWidth = twipsToPx(pxToTwips(width()) - 360);
    const int textWidth = twipsToPx(pxToTwips(width()) - 1425);
    if (textWidth > 0)
        Text1->setGeometry(kBoxLeft, row2, textWidth, kBoxHeight);
    if (gridHeight > 0 && gridWidth > 0)
        MSFlexGrid1->setGeometry(kLeft, gridTop, gridWidth, gridHeight);
}

bool frmLog::Form_QueryUnload()
{
    if (!UnsavedLog)
        return false;
    const MsgAnswer a = platform().messageBox(this, QStringLiteral("送信済みログを名前を付けて保存しますか？"),
                                              titleSaveAs(), MsgIcon::Information, MsgButtons::YesNoCancel);
    if (a == MsgAnswer::Cancel)
        return true;
    if (a == MsgAnswer::Yes)
        fileSaveAs_Click();
    return false;
}

void frmLog::reject()
{
    // Escape, the title bar's close button and mnuClose all come here.
    if (Form_QueryUnload())
        return;
    QDialog::reject();
}

void frmLog::done(int r)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(r);
}

void frmLog::Form_Unload()
{
    const Qt::WindowStates s = windowState();
    if (s & Qt::WindowMinimized)
        return;
    settings().setValue(Setting::LogWindowState, (s & Qt::WindowMaximized) ? QStringLiteral("2") : QStringLiteral("0"));
}

void frmLog::mnuFileOpen_Click()
{
    FileDialogSpec dlg;
    dlg.title = QStringLiteral("ファイルを開く");
    dlg.mustExist = true;
    dlg.fileName = QString();
    dlg.filters = dialogFilters(QStringLiteral("すべてのファイル (*.*)|*.*|")
                                + QStringLiteral("log ﾌｧｲﾙ (*.log)|*.log"));
    dlg.filterIndex = 2;
    const FileDialogResult r = platform().openFileDialog(this, dlg);
    if (r.cancelled || r.files.isEmpty() || r.files.first().isEmpty())
        return;

    BusyPointer busy(platform());
    setUpGrid();
    // Header values of the log shown before must not stand over these rows.
    Text1->clear();
    Text2->clear();
    sbPanel1->clear();
    const LogContents log = readLogFile(r.files.first());
    if (!showLog(log))
        return;
    UnsavedLog = false;
}

bool frmLog::copyLogTo(const QString &target)
{
    const QFileInfo source(LogFilePath);
    const QFileInfo dest(target);
    const bool sameFile = dest.exists() && source.exists() && dest.canonicalFilePath() == source.canonicalFilePath();
    if (dest.exists() && !sameFile) {
        const MsgAnswer a =
            platform().messageBox(this, QStringLiteral("%1 は既に存在します。\n上書きしますか？").arg(dest.fileName()),
                                  titleSaveAs(), MsgIcon::Question, MsgButtons::YesNo);
        if (a != MsgAnswer::Yes)
            return false;
    }
    if (sameFile)
        return true;

    auto fail = [&](const QString &why) {
        platform().messageBox(this, QStringLiteral("送信済ログファイルをコピーできませんでした。\n%1").arg(why),
                              titleSaveAs(), MsgIcon::Critical, MsgButtons::Ok);
        return false;
    };
    QFile in(LogFilePath);
    if (!in.open(QIODevice::ReadOnly))
        return fail(LogFilePath + QStringLiteral(": ") + in.errorString());
    const QByteArray bytes = in.readAll();
    in.close();
    // Written beside the target and renamed, so a failed copy never leaves a
    // half-written file in place of an existing one.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return fail(target + QStringLiteral(": ") + out.errorString());
    return true;
}

void frmLog::fileSaveAs_Click()
{
    FileDialogSpec dlg;
    dlg.title = titleSaveAs();
    dlg.fileName = Text1->text();
    dlg.filters = dialogFilters(QStringLiteral("log ﾌｧｲﾙ (*.log)|*.log"));
    dlg.filterIndex = 1;
    // The copy asks before replacing a file itself.
    dlg.overwritePrompt = false;
    const FileDialogResult r = platform().saveFileDialog(this, dlg);
    if (r.cancelled || r.files.isEmpty() || r.files.first().isEmpty())
        return;
    if (!copyLogTo(r.files.first()))
        return;
    UnsavedLog = false;
}

void frmLog::mnuClose_Click()
{
    close();
}

void frmLog::mnuHelpOpen_Click()
{
    openHelp(platform(), this, QStringLiteral("log"));
}
