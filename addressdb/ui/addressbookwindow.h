#pragma once
// The address book: lists the addressees of the database file through the
// search panel and acts on them (send list, delete, send flag, import, print,
// file operations).

#include "addressdb.h"
#include "databasefiles.h"
#include "platform.h"
#include "searchclause.h"

#include <QDialog>

struct AppContext;
class AddressRowModel;
class Platform;
class SettingsStore;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;

// Shows the address book modally over owner. The caller has set the busy
// pointer; the address book restores it when it activates.
void showAddressBook(AppContext &ctx, QWidget *owner);

class DialogMail : public QDialog {
    Q_OBJECT
public:
    explicit DialogMail(AppContext &ctx, QWidget *parent = nullptr);
    ~DialogMail() override;

    // The count line: "　該当する宛先　" + n + "件".
    static QString countText(int n);

    AddressDb &database() { return m_db; }
    AddressRowModel *ResultSet = nullptr;
    // False after a failed search or a change of file that could not read.
    bool resultSetOpen() const { return m_resultOpen; }
    int currentRow() const;
    void setCurrentRow(int row);

    QString DbFileName;
    SqlClause FilterClause;
    SqlClause FilterClause2;

    // Controls.
    QMenuBar *menuBar = nullptr;
    QToolBar *tbToolBar = nullptr;
    QGroupBox *Frame3 = nullptr;
    QLabel *Label1 = nullptr; // "項目(&I)"
    QLabel *Label2 = nullptr; // "排出条件(&K)"
    QComboBox *Combo2 = nullptr;
    QLineEdit *txtKey = nullptr;
    QComboBox *Combo1 = nullptr;
    QLineEdit *txtKey2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QTableView *DataGrid1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *sbPanel1 = nullptr;
    QLineEdit *txtFileName = nullptr; // hidden
    QLineEdit *Text2 = nullptr;       // hidden
    QPushButton *Command1 = nullptr;  // hidden
    QPushButton *Command6 = nullptr;  // hidden
    QPushButton *Command8 = nullptr;  // hidden

    QAction *mnuFileOpen = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuExcelInport = nullptr;
    QAction *mnuPrint = nullptr;
    QAction *mnuPrinterSet = nullptr;
    QAction *mnuEntryf = nullptr;
    QAction *mnuEnd = nullptr;
    QAction *mnuSendCode = nullptr;
    QAction *mnuSuppressed = nullptr;
    QAction *mnuCut = nullptr;
    QAction *mnuDelete = nullptr;
    QAction *mnuEntry = nullptr;
    QAction *mnuDataBase = nullptr;
    QAction *mnuDel = nullptr;
    QAction *mnuHelpkey = nullptr;
    QAction *mnuAdd = nullptr;
    QAction *mnuExport = nullptr;

    QAction *toolbarButton(const QString &key) const;

public slots:
    void Form_Activate();
    void tbToolBar_ButtonClick(const QString &key);

    void Combo2_Click();
    void Combo1_Click();
    void Combo1_Change();
    void Command2_Click();

    void Command1_Click();
    void Command6_Click();
    void Command8_Click();
    void mnuSendCode_Click();
    void mnuSuppressed_Click();
    void mnuExcelInport_Click();
    void mnuHelpkey_Click();
    void mnuEnd_Click();
    void mnuPrint_Click();
    void mnuPrinterSet_Click();

    void mnuFileOpen_Click();
    void ChangeDataBase();
    void mnuSave_Click();
    void mnuDataBase_Click();
    void mnuDel_Click();
    void mnuAdd_Click();
    void mnuExport_Click();

    bool ReconnectAddressDb();
    void done(int r) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void selectRecipient(qint64 id);
    void buildControls();
    void buildSearchPanel();
    void buildGrid();
    void buildMenus();
    void buildToolBar();
    void buildLayout();
    void Form_Load();
    void Form_Unload();
    void applyGridLayout();
    void setDeleteAllEnabled(bool on);
    void setKeyInputMode(QLineEdit *box, const QString &item);
    // Binds the grid to the rows the statement selects and shows their
    // count; false, with the grid as it was, when the statement can't run.
    bool showResults(const QString &sql, const QVariantList &params);
    void releaseOwedPointer();
    void info(const QString &text);
    void infoConnectFailed(); // "データベースの接続に失敗しました。"
    // Yes/No; destructive questions make "No" what Enter presses.
    bool ask(const QString &text, MsgDefault defaultButton = MsgDefault::First);
    // Asks before a suppressed address is mailed again, and lifts it on Yes;
    // true when the address may be sent to.
    bool confirmLiftSuppression(const QString &address);
    Platform &platform();
    SettingsStore &settings();

    AppContext &m_ctx;
    AddressDb m_db;
    DatabaseFiles m_files;
    bool m_resultOpen = false;
    bool m_shownOnce = false;
    bool m_unloaded = false;
    bool m_pointerOwed = true;
    bool m_inActivate = false;
};
