#include "sendlist.h"

SendList::SendList(QObject *parent) : QAbstractTableModel(parent) {}

QString SendList::Entry::label() const
{
    QString name = name1;
    if (!name2.isEmpty())
        name += QLatin1Char(' ') + name2;
    return name.isEmpty() ? address : name + QStringLiteral(" <") + address + QLatin1Char('>');
}

void SendList::clear()
{
    if (m_batch == 0)
        beginResetModel();
    m_name1.clear();
    m_name2.clear();
    m_address.clear();
    if (m_batch == 0) {
        endResetModel();
        emit countChanged(0);
    }
}

void SendList::append(const QString &name1, const QString &name2, const QString &address)
{
    const int row = static_cast<int>(m_name1.size());
    if (m_batch == 0)
        beginInsertRows(QModelIndex(), row, row);
    m_name1.append(name1);
    m_name2.append(name2);
    m_address.append(address);
    if (m_batch == 0) {
        endInsertRows();
        emit countChanged(count());
    }
}

SendList::Entry SendList::entry(qsizetype i) const
{
    return {m_name1.at(i), m_name2.at(i), m_address.at(i)};
}

void SendList::beginBatch()
{
    if (m_batch++ == 0)
        beginResetModel();
}

void SendList::endBatch()
{
    if (m_batch > 0 && --m_batch == 0) {
        endResetModel();
        emit countChanged(count());
    }
}

int SendList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_name1.size());
}

int SendList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SendList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_name1.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const qsizetype row = index.row();
    if (index.column() == 1)
        return m_address.at(row);
    return m_name2.at(row).isEmpty() ? m_name1.at(row) : m_name1.at(row) + QLatin1Char(' ') + m_name2.at(row);
}

QVariant SendList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("宛名") : QStringLiteral("メールアドレス");
}
