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
    m_rows.clear();
    if (m_batch == 0) {
        endResetModel();
        emit countChanged(0);
    }
}

void SendList::append(const QString &name1, const QString &name2, const QString &address)
{
    const int row = static_cast<int>(m_rows.size());
    if (m_batch == 0)
        beginInsertRows(QModelIndex(), row, row);
    m_rows.append(name1, name2, address);
    if (m_batch == 0) {
        endInsertRows();
        emit countChanged(count());
    }
}

void SendList::setEntries(const QList<Entry> &from, const QList<qsizetype> &which)
{
    beginBatch();
    clear();
    for (qsizetype i : which)
        append(from[i].name1, from[i].name2, from[i].address);
    endBatch();
}

void SendList::setRows(const RecipientRows &rows)
{
    if (m_batch == 0)
        beginResetModel();
    m_rows = rows;
    if (m_batch == 0) {
        endResetModel();
        emit countChanged(count());
    }
}

SendList::Entry SendList::entry(qsizetype i) const
{
    return {m_rows.text(i, 0), m_rows.text(i, 1), m_rows.text(i, 2)};
}

QStringList SendList::column(int field) const
{
    QStringList out;
    out.reserve(count());
    for (qsizetype i = 0; i < count(); ++i)
        out.append(m_rows.text(i, field));
    return out;
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
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SendList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SendList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const qsizetype row = index.row();
    if (index.column() == 1)
        return m_rows.text(row, 2);
    const QString name1 = m_rows.text(row, 0);
    return m_rows.utf8(row, 1).isEmpty() ? name1 : name1 + QLatin1Char(' ') + m_rows.text(row, 1);
}

QVariant SendList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("宛名") : QStringLiteral("メールアドレス");
}
