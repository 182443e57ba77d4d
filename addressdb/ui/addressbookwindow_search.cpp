#include "addressbookwindow.h"

#include "addressrowmodel.h"
#include "platform.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>

// The address book's search panel: keeping the choosers consistent, running
// the search, and showing the rows it finds.

namespace {
const QString kSearchFailed = QStringLiteral("データベースの接続に失敗しました。検索条件を確認してください。");
} // namespace

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
