#include "addressrowmodel.h"

#include "addressdb.h"
#include "addressedit.h"
#include "dbstatement.h"
#include "recipientrows.h"

namespace {
// The columns by name, so a file whose table has them in another order
// still reads correctly.
const char *const kRowSql = "SELECT 宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ "
                            "FROM 宛先 WHERE 宛先ID = ?";
const char *const kRangeSql = "SELECT 宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ "
                              "FROM 宛先 WHERE 宛先ID BETWEEN ? AND ? ORDER BY 宛先ID";
// The rows insert-into-send-list takes: send flag true, an address.
const char *const kSendRowSql = "SELECT 宛先ID, 宛先1, 宛先2, メールアドレス FROM 宛先 "
                                "WHERE 宛先ID = ? AND 送信区分 <> 0 AND メールアドレス IS NOT NULL";
const char *const kSendRangeSql = "SELECT 宛先ID, 宛先1, 宛先2, メールアドレス FROM 宛先 "
                                  "WHERE 宛先ID BETWEEN ? AND ? AND 送信区分 <> 0 AND メールアドレス IS NOT NULL "
                                  "ORDER BY 宛先ID";
constexpr int kBlock = 128;          // rows read at once for the grid
constexpr size_t kCacheLimit = 8192; // rows kept for drawing

void readRow(const DbStatement &st, AddressRowModel::Row *r, unsigned fields = AddressRowModel::kAllFields)
{
    r->id = st.int64(0);
    if (st.isNull(1))
        r->flag.reset();
    else
        r->flag = st.int64(1) != 0;
    for (int c = 0; c < 6; ++c)
        r->text[c] = fields & (1u << (AddressRowModel::ColCategory + c)) ? st.text(2 + c) : QString();
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

bool AddressRowModel::load(AddressDb &db, const QString &sql, const QVariantList &params, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!db.isOpen())
        return fail(QStringLiteral("database not open"));

    DbStatement st(db, sql);
    if (!st.isValid())
        return fail(st.error());
    if (!st.bind(params))
        return fail(QStringLiteral("cannot bind the search keys"));
    int idColumn = -1;
    for (int i = 0; i < st.columnCount(); ++i) {
        if (st.columnName(i) == QByteArrayView("宛先ID")) {
            idColumn = i;
            break;
        }
    }
    if (idColumn < 0)
        return fail(QStringLiteral("column 宛先ID not found"));

    std::vector<qint64> ids;
    ids.reserve(m_ids.size() + 64);
    DbStatement::Step step;
    while ((step = st.step()) == DbStatement::Row)
        ids.push_back(st.int64(idColumn));
    if (step != DbStatement::Done)
        return fail(st.error());

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
    std::optional<DbStatement> st;
    if (m_db && m_db->isOpen())
        st.emplace(*m_db, QByteArrayView(kRowSql));
    for (int i = first; i < last; ++i) {
        const qint64 id = m_ids[i];
        if (m_cache.count(id))
            continue;
        Row r;
        r.id = id;
        if (st && st->isValid()) {
            st->bindInt64(1, id);
            if (st->step() == DbStatement::Row)
                readRow(*st, &r);
            st->reset();
        }
        // A row that can't be read shows empty rather than being asked for
        // again on every paint.
        m_cache.emplace(id, std::move(r));
    }
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

bool AddressRowModel::scan(const char *rowSql, const char *rangeSql,
                           const std::function<void(const DbStatement &)> &visit, QString *error) const
{
    if (m_ids.empty())
        return true;
    if (!m_db || !m_db->isOpen()) {
        if (error)
            *error = QStringLiteral("database not open");
        return false;
    }
    const qint64 lo = m_ids.front();
    const qint64 hi = m_ids.back();
    // A sparse set is read row by row; a dense one in one ordered pass over
    // its id range, merged with the ids.
    const bool sparse = double(m_ids.size()) * 8 < double(hi - lo + 1);
    DbStatement st(*m_db, sparse ? rowSql : rangeSql);
    if (!st.isValid()) {
        if (error)
            *error = st.error();
        return false;
    }
    DbStatement::Step step = DbStatement::Done;
    if (sparse) {
        for (qint64 id : m_ids) {
            st.bindInt64(1, id);
            step = st.step();
            if (step == DbStatement::Row) {
                visit(st);
                step = DbStatement::Done;
            }
            st.reset();
            if (step != DbStatement::Done)
                break;
        }
    } else {
        st.bindInt64(1, lo);
        st.bindInt64(2, hi);
        size_t next = 0;
        while (next < m_ids.size() && (step = st.step()) == DbStatement::Row) {
            const qint64 id = st.int64(0);
            while (next < m_ids.size() && m_ids[next] < id)
                ++next; // left the file since the search
            if (next < m_ids.size() && m_ids[next] == id) {
                visit(st);
                ++next;
            }
        }
        if (step == DbStatement::Row)
            step = DbStatement::Done;
    }
    if (step != DbStatement::Done && error)
        *error = st.error();
    return step == DbStatement::Done;
}

bool AddressRowModel::readAll(const std::function<void(const Row &)> &visit, QString *error, unsigned fields) const
{
    Row r;
    return scan(
        kRowSql, kRangeSql,
        [&](const DbStatement &st) {
            readRow(st, &r, fields);
            visit(r);
        },
        error);
}

bool AddressRowModel::sendableRows(RecipientRows *out, QString *error) const
{
    // Straight from the file's UTF-8 into the compact rows: no text is
    // decoded on the way.
    return scan(
        kSendRowSql, kSendRangeSql,
        [out](const DbStatement &st) { out->appendUtf8(st.utf8(1), st.utf8(2), st.utf8(3)); }, error);
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

RecipientEdit AddressRowModel::setText(AddressDb &db, int r, Column column, const QString &entered)
{
    if (r < 0 || r >= count())
        return {};
    const qint64 id = m_ids[r];
    RecipientEdit edit = storeRecipientField(db, id, column, entered);
    if (!edit.ok)
        return edit;
    if (auto it = m_cache.find(id); it != m_cache.end()) {
        it->second.text[column - ColCategory] = edit.value;
        if (edit.held)
            it->second.flag = false;
    }
    emit dataChanged(index(r, edit.held ? ColFlag : column), index(r, column));
    return edit;
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
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::EditRole)
        return text(index.row(), Column(index.column()));
    return {};
}

Qt::ItemFlags AddressRowModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    switch (index.column()) {
    case ColCategory:
    case ColName1:
    case ColName2:
    case ColAddress:
    case ColMemo: return f | Qt::ItemIsEditable;
    default: return f;
    }
}

bool AddressRowModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable) || !m_db)
        return false;
    const Column column = Column(index.column());
    const QString entered = value.toString();
    // Leaving a cell untouched writes nothing.
    if (entered == text(index.row(), column))
        return true;
    const RecipientEdit edit = setText(*m_db, index.row(), column, entered);
    if (!edit.ok || edit.shortened)
        emit editMessage(edit.message, !edit.ok);
    return edit.ok;
}

QVariant AddressRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount)
        return columnNames().at(section);
    return {};
}
