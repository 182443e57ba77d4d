#include "addressbookwindow.h"

#include "addressedit.h"
#include "addressrowmodel.h"
#include "appcontext.h"
#include "dialogsuppressed.h"
#include "platform.h"
#include "recipientdialog.h"
#include "recipientrows.h"
#include "sendlist.h"
#include "suppression.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

// The address book's work on recipients: adding one, deleting the selected
// row or all rows shown, toggling the send flag, and handing the rows meant
// for sending to the send list. Edits in the grid's cells are the row
// model's.

void DialogMail::mnuAdd_Click()
{
    if (!m_db.isOpen()) {
        infoConnectFailed();
        return;
    }
    RecipientDialog dlg(this);
    // The window comes back with what was typed until the row is stored or
    // the user cancels.
    while (platform().showModal(&dlg) == QDialog::Accepted) {
        const NewRecipient f = dlg.fields();
        const RecipientEdit address = checkRecipientField(AddressRowModel::ColAddress, f.address);
        if (!address.ok) {
            info(address.message);
            continue;
        }
        if (addressStored(m_db, f.address)
            && !ask(QStringLiteral("このメールアドレスはすでに登録されています。\n") + address.value
                        + QStringLiteral("\nもう１件登録しますか？"),
                    MsgDefault::No))
            continue;
        const RecipientEdit added = addRecipient(m_db, f, platform().now().date());
        if (!added.ok) {
            info(added.message);
            continue;
        }
        if (added.shortened || added.held)
            info(added.message);
        selectRecipient(added.id);
        return;
    }
}

void DialogMail::selectRecipient(qint64 id)
{
    auto rowOf = [this, id] {
        for (int r = ResultSet->count() - 1; r >= 0; --r)
            if (ResultSet->id(r) == id)
                return r;
        return -1;
    };
    Command2_Click();
    int row = rowOf();
    if (row < 0) {
        // The present search doesn't list it: list every address.
        Combo2->setCurrentText(SearchClauseBuilder::selectAllItem());
        Combo2_Click();
        txtKey2->clear();
        Command2_Click();
        row = rowOf();
    }
    if (row >= 0) {
        setCurrentRow(row);
        DataGrid1->scrollTo(ResultSet->index(row, AddressRowModel::ColName1));
    }
}

void DialogMail::Command1_Click()
{
    if (!m_resultOpen || !m_db.isOpen()) {
        infoConnectFailed();
        return;
    }
    if (ResultSet->count() > 0) {
        BusyPointer busy(platform());
        DataGrid1->setVisible(false);
        SendList &list = *m_ctx.sendList;
        list.beginBatch();
        list.clear();
        // A row without an address can't be sent to; null names go in empty.
        RecipientRows rows;
        const bool ok = ResultSet->sendableRows(&rows);
        // What was read before a failure stays in the list.
        list.setRows(rows);
        list.endBatch();
        if (!ok) {
            busy.release();
            infoConnectFailed();
            return;
        }
    }
    done(QDialog::Accepted);
}

void DialogMail::Command8_Click()
{
    if (!m_resultOpen || ResultSet->count() == 0)
        return;
    int row = currentRow();
    if (row < 0)
        return;
    const QString name = ResultSet->text(row, AddressRowModel::ColName1);
    if (!ask(QStringLiteral("選択した宛先(") + name + QStringLiteral(")を削除します。よろしいですか。"),
             MsgDefault::No))
        return;
    if (!ResultSet->deleteRow(m_db, row)) {
        // Another program's lock or a vanished file: the row stays.
        infoConnectFailed();
        return;
    }
    Text1->setText(countText(ResultSet->count()));
    if (ResultSet->count() == 0) {
        Command8->setEnabled(false);
        return;
    }
    // The next row moved into this place; past the end, take the last.
    setCurrentRow(qMin(row, ResultSet->count() - 1));
}

void DialogMail::Command6_Click()
{
    if (!Command6->isEnabled())
        return;
    if (!ask(QStringLiteral("表示中の宛先すべてを削除します。よろしいですか。"), MsgDefault::No))
        return;
    const SqlStatement st = SearchClauseBuilder::deleteStatement(FilterClause, FilterClause2);
    QString err;
    if (!st.error.isEmpty() || !m_db.exec(st.text, st.params, &err)) {
        info(QStringLiteral("表示中の宛先を削除できませんでした。"));
        return;
    }
    Command2_Click();
    info(QStringLiteral("表示中の宛先すべてを削除しました。"));
    if (m_resultOpen)
        Text1->setText(countText(ResultSet->count()));
}

void DialogMail::mnuSendCode_Click()
{
    if (!m_resultOpen)
        return;
    const int row = currentRow();
    if (row < 0)
        return;
    // A suppressed address goes back to 送信 only when the user lifts its
    // suppression.
    if (ResultSet->sendFlag(row) != std::optional<bool>(true)
        && !confirmLiftSuppression(ResultSet->text(row, AddressRowModel::ColAddress)))
        return;
    if (!ResultSet->toggleSendFlag(m_db, row))
        infoConnectFailed();
}

void DialogMail::mnuSuppressed_Click()
{
    DialogSuppressed view(platform(), m_db, this);
    platform().showModal(&view);
}

bool DialogMail::confirmLiftSuppression(const QString &address)
{
    if (address.isEmpty() || !isSuppressed(m_db, address))
        return true;
    Suppression found;
    for (const Suppression &sup : suppressions(m_db))
        if (sup.address == normalisedRecipientAddress(address))
            found = sup;
    if (!ask(liftSuppressionQuestion(address, found), MsgDefault::No))
        return false;
    if (!liftSuppression(m_db, address)) {
        infoConnectFailed();
        return false;
    }
    return true;
}
