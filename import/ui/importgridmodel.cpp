#include "importgridmodel.h"

#include "csvimport.h"

#include <QGuiApplication>
#include <QPalette>

ImportGridModel::ImportGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void ImportGridModel::setHeaderRow(const QStringList &texts)
{
    m_header = texts;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ImportGridModel::setRows(const ImportRows &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void ImportGridModel::clearRows()
{
    setRows({});
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
    return col >= 0 && col < 3 ? m_rows.text(row, col) : QString();
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
    if (role == Qt::DisplayRole)
        return m_rows.text(index.row(), index.column());
    if (role == Qt::ToolTipRole) {
        const QString text = m_rows.text(index.row(), index.column());
        if (!m_showsRefusal)
            return text;
        const QString why =
            QStringLiteral("メールアドレスが使えません（%1）").arg(importRefusal(m_rows.text(index.row(), 2)));
        return text.isEmpty() ? why : text + QLatin1Char('\n') + why;
    }
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

void SortedAddressModel::setRows(const ImportRows &rows, std::vector<quint32> order)
{
    beginResetModel();
    m_rows = rows;
    m_order = std::move(order);
    endResetModel();
}

QStringList SortedAddressModel::addresses() const
{
    QStringList out;
    for (quint32 i : m_order)
        out.append(m_rows.text(i, 2));
    return out;
}

int SortedAddressModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

QVariant SortedAddressModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_order.size() || role != Qt::DisplayRole)
        return {};
    return m_rows.text(m_order[size_t(index.row())], 2);
}
