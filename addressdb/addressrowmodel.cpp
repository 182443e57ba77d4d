#include "addressrowmodel.h"

#include "addressdb.h"

#include <sqlite3.h>

AddressRowModel::AddressRowModel(QObject *parent) : QAbstractTableModel(parent) {}

QStringList AddressRowModel::columnNames()
{
    return {QStringLiteral("宛先ID"), QStringLiteral("送信区分"), QStringLiteral("インポート区分名"),
            QStringLiteral("宛先1"), QStringLiteral("宛先2"), QStringLiteral("メールアドレス"),
            QStringLiteral("登録日"), QStringLiteral("メモ")};
}

bool AddressRowModel::load(AddressDb &db, const QString &sql, const QVariantList &params, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!db.isOpen())
        return fail(QStringLiteral("database not open"));

    sqlite3 *h = db.handle();
    sqlite3_stmt *st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(h, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(h)));
    if (!bindParams(st, params)) {
        sqlite3_finalize(st);
        return fail(QStringLiteral("cannot bind the search keys"));
    }

    // Columns by name, so a file whose table has its columns in another
    // order still lists correctly.
    int pos[ColumnCount];
    const QStringList names = columnNames();
    for (int c = 0; c < ColumnCount; ++c) {
        pos[c] = -1;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            if (QString::fromUtf8(sqlite3_column_name(st, i)) == names[c]) {
                pos[c] = i;
                break;
            }
        }
        if (pos[c] < 0) {
            sqlite3_finalize(st);
            return fail(QStringLiteral("column %1 not found").arg(names[c]));
        }
    }

    std::vector<Row> rows;
    QByteArray buf;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Row r;
        r.id = sqlite3_column_int64(st, pos[ColId]);
        if (sqlite3_column_type(st, pos[ColFlag]) == SQLITE_NULL)
            r.flag = -1;
        else
            r.flag = sqlite3_column_int64(st, pos[ColFlag]) != 0 ? 1 : 0;
        for (int c = 0; c < kTextColumns; ++c) {
            const int p = pos[ColCategory + c];
            const unsigned char *t = sqlite3_column_text(st, p);
            if (!t) {
                r.off[c] = kNull;
                r.len[c] = 0;
                continue;
            }
            const int n = sqlite3_column_bytes(st, p);
            r.off[c] = quint32(buf.size());
            r.len[c] = quint32(n);
            buf.append(reinterpret_cast<const char *>(t), n);
        }
        rows.push_back(r);
    }
    if (rc != SQLITE_DONE) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(h));
        sqlite3_finalize(st);
        return fail(why);
    }
    sqlite3_finalize(st);

    beginResetModel();
    m_rows = std::move(rows);
    m_text = std::move(buf);
    endResetModel();
    return true;
}

void AddressRowModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_text.clear();
    endResetModel();
}

std::optional<bool> AddressRowModel::sendFlag(int row) const
{
    const qint8 f = m_rows[row].flag;
    if (f < 0)
        return std::nullopt;
    return f != 0;
}

bool AddressRowModel::isNull(int row, Column column) const
{
    if (column < ColCategory)
        return column == ColFlag && m_rows[row].flag < 0;
    return m_rows[row].off[column - ColCategory] == kNull;
}

QString AddressRowModel::text(int row, Column column) const
{
    if (column == ColId)
        return QString::number(m_rows[row].id);
    if (column == ColFlag) {
        const auto f = sendFlag(row);
        return f ? (*f ? QStringLiteral("True") : QStringLiteral("False")) : QString();
    }
    const Row &r = m_rows[row];
    const int c = column - ColCategory;
    if (r.off[c] == kNull)
        return QString();
    // A present but empty value must not read as null.
    if (r.len[c] == 0)
        return QString(QLatin1String(""));
    return QString::fromUtf8(m_text.constData() + r.off[c], qsizetype(r.len[c]));
}

bool AddressRowModel::deleteRow(AddressDb &db, int row, QString *error)
{
    if (row < 0 || row >= count())
        return false;
    if (!db.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID = ?"), {QVariant(m_rows[row].id)}, error))
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

bool AddressRowModel::toggleSendFlag(AddressDb &db, int row, QString *error)
{
    if (row < 0 || row >= count())
        return false;
    const qint8 next = m_rows[row].flag == 1 ? 0 : 1;
    if (!db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = ? WHERE 宛先ID = ?"),
                 {QVariant(int(next)), QVariant(m_rows[row].id)}, error))
        return false;
    m_rows[row].flag = next;
    const QModelIndex i = index(row, ColFlag);
    emit dataChanged(i, i);
    return true;
}

int AddressRowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int AddressRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AddressRowModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), Column(index.column()));
    return {};
}

QVariant AddressRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount)
        return columnNames().at(section);
    return {};
}
