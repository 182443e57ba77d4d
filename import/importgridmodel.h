#pragma once
// The table behind each grid of the import window: three text columns of
// import rows, with an optional header row. A tab inside a value stays in its
// cell. Rows are set as a whole, so a preview of many rows tells the view once.

#include "csvimport.h"

#include <QAbstractTableModel>
#include <QStringList>

class ImportGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ImportGridModel(QObject *parent = nullptr);

    // With a header row, row 0 of the grid holds the header texts and the
    // first column is drawn in header style.
    void setHeaderRow(const QStringList &texts);
    bool hasHeaderRow() const { return !m_header.isEmpty(); }

    void setRows(QList<ImportRow> rows);
    void clearRows();
    const QList<ImportRow> &dataRows() const { return m_rows; }

    // Rows of the grid as the window counts them: the header row included.
    qsizetype gridRows() const { return m_rows.size() + (hasHeaderRow() ? 1 : 0); }
    // Cell text by grid row (row 0 is the header row when there is one).
    QString textMatrix(qsizetype row, int col) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    static QString cell(const ImportRow &row, int col);
    QStringList m_header;
    QList<ImportRow> m_rows;
};
