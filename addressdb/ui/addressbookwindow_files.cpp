#include "addressbookwindow.h"

#include "addressexport.h"
#include "addresslistprint.h"
#include "addressrowmodel.h"
#include "platform.h"
#include "settingsstore.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

// The address book's file operations: the database file in use (open,
// change, save as, repair and compaction, initialisation), export of the
// rows shown, and printing them.

namespace {

constexpr unsigned kNamesAndAddress = (1u << AddressRowModel::ColName1) | (1u << AddressRowModel::ColName2)
                                      | (1u << AddressRowModel::ColAddress);

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

void DialogMail::mnuExport_Click()
{
    if (!m_resultOpen || !m_db.isOpen()) {
        infoConnectFailed();
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
        infoConnectFailed();
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
