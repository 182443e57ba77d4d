#pragma once
// The import window: choose an address file, preview it (usable rows,
// rejected rows, duplicate addresses; the usable rows also fill the send
// list), then store the usable rows in table 宛先 under an import category.

#include <QDialog>

#include "csvimport.h"

class AddressDb;
class ImportGridModel;
class SortedAddressModel;
class Platform;
class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QPushButton;
class QStringListModel;
class QTableView;
struct AppContext;

class DialogExcel : public QDialog {
    Q_OBJECT
public:
    // Works on ctx.addressDb (the address book's open database), which may
    // be null: the preview still fills the send list, the commit stores
    // nothing and says so.
    DialogExcel(AppContext &ctx, QWidget *parent = nullptr);
    ~DialogExcel() override;

    QLabel *Label1 = nullptr;
    QLineEdit *txtFileName = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label2 = nullptr;
    QTableView *MSFlexGrid1 = nullptr;
    QLabel *Label3 = nullptr;
    QTableView *MSFlexGrid2 = nullptr;
    QLabel *Label5 = nullptr;
    QListView *List2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QListView *List1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command4 = nullptr;

    QMenuBar *menuBar = nullptr;
    QMenu *mnuFile = nullptr;
    QAction *mnuExcel = nullptr;
    QAction *mnuExcelOpen = nullptr;
    QAction *mnuInport = nullptr;
    QAction *mnuPrint = nullptr;
    QAction *mnuPrinterSet = nullptr;
    QAction *mnuEnd = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpInport = nullptr;

    ImportGridModel *grid1() const { return m_grid1; }
    ImportGridModel *grid2() const { return m_grid2; }
    QStringList list1Items() const;
    QStringList list2Items() const;

public slots:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void Command2_Click();
    void mnuExcel_Click();
    void Command4_Click();
    void mnuExcelOpen_Click();
    void Command5_Click();
    void mnuInport_Click();
    void Command1_Click();
    void Command3_Click();
    void mnuEnd_Click();
    void List2_Click();
    void Label4_Click();
    void mnuHelpInport_Click();
    void mnuPrint_Click();
    void mnuPrinterSet_Click();

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // In dialogexcel_controls.cpp: the controls, their layouts and the menus.
    void buildControls();
    void layOutControls();
    void buildMenus();
    void openAtDesignSize();
    void settleLayout();
    // The rejected grid and its heading, shown only with rejected rows.
    void showRejected(bool shown);

    void resetGrid1();
    void resetGrid2();
    bool chooseFile();
    void inform(const QString &text);
    Platform &platform();
    AddressDb *database() const;

    AppContext &m_ctx;
    ImportGridModel *m_grid1 = nullptr;
    ImportGridModel *m_grid2 = nullptr;
    SortedAddressModel *m_list1 = nullptr;
    QStringListModel *m_list2 = nullptr;
    QWidget *m_rejectedHeading = nullptr;
    bool m_unloaded = false;
    bool m_shown = false;
};
