#pragma once
// The rows of the last search, read in one pass and shown by the grid. The
// texts stay in one UTF-8 buffer and become QStrings only when a cell is
// drawn, so listing a large table costs one query and a few copies.
// Deleting a row and toggling the send flag write to the file at once.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

class AddressDb;

class AddressRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColId, ColFlag, ColCategory, ColName1, ColName2, ColAddress, ColDate, ColMemo, ColumnCount };

    explicit AddressRowModel(QObject *parent = nullptr);

    // Runs a SELECT over 宛先 and replaces the rows. On failure the rows on
    // show stay as they were and error says why.
    bool load(AddressDb &db, const QString &sql, const QVariantList &params, QString *error = nullptr);
    void clearRows();

    int count() const { return int(m_rows.size()); }
    qint64 id(int row) const { return m_rows[row].id; }
    // 送信区分: nullopt for NULL.
    std::optional<bool> sendFlag(int row) const;
    // A text column; a null value is a null QString.
    QString text(int row, Column column) const;
    bool isNull(int row, Column column) const;

    // Delete one row from the file and the list.
    bool deleteRow(AddressDb &db, int row, QString *error = nullptr);
    // True becomes False; False and NULL become True. Written at once.
    bool toggleSendFlag(AddressDb &db, int row, QString *error = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QStringList columnNames();

private:
    static constexpr int kTextColumns = 6; // インポート区分名 .. メモ
    static constexpr quint32 kNull = 0xffffffffu;
    struct Row {
        qint64 id;
        qint8 flag; // -1 NULL, 0, 1
        quint32 off[kTextColumns];
        quint32 len[kTextColumns];
    };
    std::vector<Row> m_rows;
    QByteArray m_text;
};
