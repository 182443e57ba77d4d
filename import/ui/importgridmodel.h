#pragma once
// The table behind each grid of the import window: three text columns of
// import rows, with an optional header row. A tab inside a value stays in its
// cell. Rows are set as a whole, so a preview of many rows tells the view once;
// the view reads only the cells it draws.

#include "csvimport.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

class ImportGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ImportGridModel(QObject *parent = nullptr);

    // With a header row, row 0 of the grid holds the header texts and the
    // first column is drawn in header style.
    void setHeaderRow(const QStringList &texts);
    bool hasHeaderRow() const { return !m_header.isEmpty(); }
    // For the rejected rows: each cell's tip also says why the import
    // refused the row's address.
    void setShowsRefusal(bool shows) { m_showsRefusal = shows; }

    // The rows are shared with the caller, not copied.
    void setRows(const ImportRows &rows);
    void clearRows();
    const ImportRows &dataRows() const { return m_rows; }

    // Rows of the grid as the window counts them: the header row included.
    qsizetype gridRows() const { return m_rows.size() + (hasHeaderRow() ? 1 : 0); }
    // Cell text by grid row (row 0 is the header row when there is one).
    QString textMatrix(qsizetype row, int col) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_header;
    ImportRows m_rows;
    bool m_showsRefusal = false;
};

// The usable addresses in sorted order, read from the rows as drawn.
class SortedAddressModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setRows(const ImportRows &rows, std::vector<quint32> order);
    void clearRows() { setRows({}, {}); }
    QStringList addresses() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    ImportRows m_rows;
    std::vector<quint32> m_order;
};
