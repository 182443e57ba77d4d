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
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringListModel>
#include <QTableView>

namespace {

// Grid column width in twips, the unit the stored window positions use.
constexpr int kColumnWidth = 3000;

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
    if (r.suppressed > 0)
        inform(QStringLiteral("配信停止中のアドレス %1件は、送信区分を保留にして登録しました。").arg(r.suppressed));
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
