#pragma once
// The rows of the last search, shown by the grid. A search keeps only the
// ids of the matching rows, in 宛先ID order; the cells are read from the file
// a block at a time when the grid draws them, so listing a large table costs
// one pass over the ids. Deleting a row and toggling the send flag write to
// the file at once.

#include "addresscolumns.h"

#include <QAbstractTableModel>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class AddressDb;
class DbStatement;
class RecipientRows;
struct RecipientEdit;

class AddressRowModel : public QAbstractTableModel, public AddressColumns {
    Q_OBJECT
public:
    // One row as the file holds it; a NULL text is a null QString.
    struct Row {
        qint64 id = 0;
        std::optional<bool> flag;
        QString text[6]; // インポート区分名 .. メモ
        const QString &field(Column c) const { return text[c - ColCategory]; }
    };

    explicit AddressRowModel(QObject *parent = nullptr);

    // Runs a SELECT over 宛先 that returns the column 宛先ID and takes the
    // ids as the new row set. On failure the rows on show stay as they were
    // and error says why. db must stay alive while the rows are shown.
    bool load(AddressDb &db, const QString &sql, const QVariantList &params, QString *error = nullptr);
    void clearRows();

    int count() const { return int(m_ids.size()); }
    qint64 id(int row) const { return m_ids[row]; }
    // 送信区分: nullopt for NULL.
    std::optional<bool> sendFlag(int row) const;
    // A text column; a NULL value is a null QString.
    QString text(int row, Column column) const;
    bool isNull(int row, Column column) const;

    // Reads every row of the set from the file, in order, in one pass. A row
    // that has left the file since the search is skipped.
    // fields: bits (1 << Column) of the text columns wanted; the others read
    // as null.
    static constexpr unsigned kAllFields = 0xff;
    bool readAll(const std::function<void(const Row &)> &visit, QString *error = nullptr,
                 unsigned fields = kAllFields) const;

    // Appends name line 1, name line 2 and address of every row of the set
    // whose send flag is true and whose address is not NULL, in order; a
    // NULL name goes in empty.
    bool sendableRows(RecipientRows *out, QString *error = nullptr) const;

    // Delete one row from the file and the list.
    bool deleteRow(AddressDb &db, int row, QString *error = nullptr);
    // True becomes False; False and NULL become True. Written at once.
    bool toggleSendFlag(AddressDb &db, int row, QString *error = nullptr);
    // Stores text entered into one cell by the rules of addressedit.h and
    // shows the value stored.
    RecipientEdit setText(AddressDb &db, int row, Column column, const QString &entered);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // 宛先1, 宛先2, メールアドレス, インポート区分名 and メモ can be edited in
    // the grid; each edit is stored at once by the recipient rules.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // An edit the rules refused or the database did not take (refused), or
    // a note that a name was cut (not refused).
    void editMessage(const QString &message, bool refused);

private:
    const Row &row(int r) const;
    // Visits the rows of the set still in the file that the statements
    // give, in order, the statement on the row. rowSql takes one id,
    // rangeSql the first and last; both give 宛先ID first.
    bool scan(const char *rowSql, const char *rangeSql, const std::function<void(const DbStatement &)> &visit,
              QString *error) const;
    void fetchBlock(int first) const;

    AddressDb *m_db = nullptr;
    std::vector<qint64> m_ids;
    mutable std::unordered_map<qint64, Row> m_cache;
};
