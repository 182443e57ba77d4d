#include "addressrowmodel.h"

#include "addressdb.h"

#include <sqlite3.h>

namespace {
// The columns by name, so a file whose table has them in another order
// still reads correctly.
const char *const kRowSql = "SELECT 宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ "
                            "FROM 宛先 WHERE 宛先ID = ?";
const char *const kRangeSql = "SELECT 宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ "
                              "FROM 宛先 WHERE 宛先ID BETWEEN ? AND ? ORDER BY 宛先ID";
constexpr int kBlock = 128;          // rows read at once for the grid
constexpr size_t kCacheLimit = 8192; // rows kept for drawing

void readRow(sqlite3_stmt *st, AddressRowModel::Row *r, unsigned fields = AddressRowModel::kAllFields)
{
    r->id = sqlite3_column_int64(st, 0);
    if (sqlite3_column_type(st, 1) == SQLITE_NULL)
        r->flag.reset();
    else
        r->flag = sqlite3_column_int64(st, 1) != 0;
    for (int c = 0; c < 6; ++c) {
        if (!(fields & (1u << (AddressRowModel::ColCategory + c)))) {
            r->text[c] = QString();
            continue;
        }
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(st, 2 + c));
        if (!t)
            r->text[c] = QString();
        else if (const int n = sqlite3_column_bytes(st, 2 + c); n == 0)
            r->text[c] = QString(QLatin1String("")); // empty, not NULL
        else
            r->text[c] = QString::fromUtf8(t, n);
    }
}

// The grid's display format of the send flag: the text for True, "/", the
// text for False.
const QString kFlagFormat = QStringLiteral("True/False");

const AddressRowModel::Row &missingRow()
{
    static const AddressRowModel::Row r;
    return r;
}
} // namespace

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
    int idColumn = -1;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
        if (qstrcmp(sqlite3_column_name(st, i), "宛先ID") == 0) {
            idColumn = i;
            break;
        }
    }
    if (idColumn < 0) {
        sqlite3_finalize(st);
        return fail(QStringLiteral("column 宛先ID not found"));
    }

    std::vector<qint64> ids;
    ids.reserve(m_ids.size() + 64);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(st, idColumn));
    if (rc != SQLITE_DONE) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(h));
        sqlite3_finalize(st);
        return fail(why);
    }
    sqlite3_finalize(st);

    beginResetModel();
    m_db = &db;
    m_ids = std::move(ids);
    m_cache.clear();
    endResetModel();
    return true;
}

void AddressRowModel::clearRows()
{
    beginResetModel();
    m_ids.clear();
    m_cache.clear();
    endResetModel();
}

void AddressRowModel::fetchBlock(int first) const
{
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();
    const int last = qMin(count(), first + kBlock);
    sqlite3_stmt *st = nullptr;
    const bool ok = m_db && m_db->isOpen()
                    && sqlite3_prepare_v2(m_db->handle(), kRowSql, -1, &st, nullptr) == SQLITE_OK;
    for (int i = first; i < last; ++i) {
        const qint64 id = m_ids[i];
        if (m_cache.count(id))
            continue;
        Row r;
        r.id = id;
        if (ok) {
            sqlite3_bind_int64(st, 1, id);
            if (sqlite3_step(st) == SQLITE_ROW)
                readRow(st, &r);
            sqlite3_reset(st);
        }
        // A row that can't be read shows empty rather than being asked for
        // again on every paint.
        m_cache.emplace(id, std::move(r));
    }
    sqlite3_finalize(st);
}

const AddressRowModel::Row &AddressRowModel::row(int r) const
{
    if (r < 0 || r >= count())
        return missingRow();
    auto it = m_cache.find(m_ids[r]);
    if (it == m_cache.end()) {
        fetchBlock(r);
        it = m_cache.find(m_ids[r]);
    }
    return it->second;
}

bool AddressRowModel::readAll(const std::function<void(const Row &)> &visit, QString *error,
                              unsigned fields) const
{
    if (m_ids.empty())
        return true;
    if (!m_db || !m_db->isOpen()) {
        if (error)
            *error = QStringLiteral("database not open");
        return false;
    }
    sqlite3 *h = m_db->handle();
    sqlite3_stmt *st = nullptr;
    const qint64 lo = m_ids.front();
    const qint64 hi = m_ids.back();
    // A sparse set is read row by row; a dense one in one ordered pass over
    // its id range, merged with the ids.
    const bool sparse = double(m_ids.size()) * 8 < double(hi - lo + 1);
    if (sqlite3_prepare_v2(h, sparse ? kRowSql : kRangeSql, -1, &st, nullptr) != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(h));
        return false;
    }
    Row r;
    int rc = SQLITE_DONE;
    if (sparse) {
        for (qint64 id : m_ids) {
            sqlite3_bind_int64(st, 1, id);
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) {
                readRow(st, &r, fields);
                visit(r);
                rc = SQLITE_DONE;
            }
            sqlite3_reset(st);
            if (rc != SQLITE_DONE)
                break;
        }
    } else {
        sqlite3_bind_int64(st, 1, lo);
        sqlite3_bind_int64(st, 2, hi);
        size_t next = 0;
        while (next < m_ids.size() && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            const qint64 id = sqlite3_column_int64(st, 0);
            while (next < m_ids.size() && m_ids[next] < id)
                ++next; // left the file since the search
            if (next < m_ids.size() && m_ids[next] == id) {
                readRow(st, &r, fields);
                visit(r);
                ++next;
            }
        }
        if (rc == SQLITE_ROW)
            rc = SQLITE_DONE;
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok && error)
        *error = QString::fromUtf8(sqlite3_errmsg(h));
    sqlite3_finalize(st);
    return ok;
}

std::optional<bool> AddressRowModel::sendFlag(int r) const
{
    return row(r).flag;
}

bool AddressRowModel::isNull(int r, Column column) const
{
    if (column == ColId)
        return false;
    if (column == ColFlag)
        return !row(r).flag.has_value();
    return row(r).field(column).isNull();
}

QString AddressRowModel::text(int r, Column column) const
{
    if (column == ColId)
        return QString::number(id(r));
    if (column == ColFlag) {
        const auto f = row(r).flag;
        if (!f)
            return QString();
        return kFlagFormat.section(QLatin1Char('/'), *f ? 0 : 1, *f ? 0 : 1);
    }
    return row(r).field(column);
}

bool AddressRowModel::deleteRow(AddressDb &db, int r, QString *error)
{
    if (r < 0 || r >= count())
        return false;
    const qint64 id = m_ids[r];
    if (!db.exec(QStringLiteral("DELETE FROM 宛先 WHERE 宛先ID = ?"), {QVariant(id)}, error))
        return false;
    beginRemoveRows(QModelIndex(), r, r);
    m_ids.erase(m_ids.begin() + r);
    m_cache.erase(id);
    endRemoveRows();
    return true;
}

bool AddressRowModel::toggleSendFlag(AddressDb &db, int r, QString *error)
{
    if (r < 0 || r >= count())
        return false;
    const bool next = row(r).flag != std::optional<bool>(true);
    const qint64 id = m_ids[r];
    if (!db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = ? WHERE 宛先ID = ?"),
                 {QVariant(next ? 1 : 0), QVariant(id)}, error))
        return false;
    if (auto it = m_cache.find(id); it != m_cache.end())
        it->second.flag = next;
    const QModelIndex i = index(r, ColFlag);
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
