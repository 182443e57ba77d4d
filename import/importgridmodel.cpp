#include "importgridmodel.h"

#include <QGuiApplication>
#include <QPalette>

ImportGridModel::ImportGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void ImportGridModel::setHeaderRow(const QStringList &texts)
{
    m_header = texts;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ImportGridModel::setRows(QList<ImportRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ImportGridModel::clearRows()
{
    setRows({});
}

QString ImportGridModel::cell(const ImportRow &row, int col)
{
    switch (col) {
    case 0: return row.name1;
    case 1: return row.name2;
    case 2: return row.address;
    default: return {};
    }
}

QString ImportGridModel::textMatrix(qsizetype row, int col) const
{
    if (hasHeaderRow()) {
        if (row == 0)
            return m_header.value(col);
        --row;
    }
    if (row < 0 || row >= m_rows.size())
        return {};
    return cell(m_rows.at(row), col);
}

int ImportGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ImportGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant ImportGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cell(m_rows.at(index.row()), index.column());
    if (role == Qt::BackgroundRole && index.column() == 0 && hasHeaderRow())
        return QGuiApplication::palette().button();
    return {};
}

QVariant ImportGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_header.value(section);
    return section + 1;
}
