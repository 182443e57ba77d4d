#include "addressbookwindow.h"

#include "addressrowmodel.h"
#include "appcontext.h"
#include "apptitle.h"
#include "platform.h"
#include "programfolder.h"
#include "settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <memory>

// The address book's life: opening, loading, activation and unloading, the
// messages it shows, and the actions that need no more than a call.
// Building the window is in addressbookwindow_build.cpp, searching in
// addressbookwindow_search.cpp, the file operations in
// addressbookwindow_files.cpp and the work on recipients in
// addressbookwindow_edit.cpp.

namespace {

const QString kTitleInfo = QStringLiteral("Information");
const QString kTitleQuestion = QStringLiteral("Question");
const QString kConnectFailed = QStringLiteral("データベースの接続に失敗しました。");

// Design size in pixels.
constexpr int kDesignWidth = 1000;
constexpr int kDesignHeight = 600;

} // namespace

void showAddressBook(AppContext &ctx, QWidget *owner)
{
    // Owned here, not by the owner window: it goes when the modal loop ends.
    const auto dlg = std::make_unique<DialogMail>(ctx, owner);
    ctx.platform->showModal(dlg.get());
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

void DialogMail::infoConnectFailed()
{
    info(kConnectFailed);
}

bool DialogMail::ask(const QString &text, MsgDefault defaultButton)
{
    releaseOwedPointer();
    return platform().messageBox(this, text, kTitleQuestion, MsgIcon::Question, MsgButtons::YesNo, defaultButton)
           == MsgAnswer::Yes;
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

// ---------------------------------------------------------------- actions

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
