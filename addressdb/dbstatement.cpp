#include "dbstatement.h"

#include "addressdb.h"

#include <sqlite3.h>

DbStatement::DbStatement(AddressDb &db, QByteArrayView sql) : m_db(db)
{
    if (!db.isOpen()) {
        m_error = QStringLiteral("database not open");
        return;
    }
    if (sqlite3_prepare_v2(db.m_db, sql.data(), int(sql.size()), &m_st, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(db.m_db));
        sqlite3_finalize(m_st);
        m_st = nullptr;
    }
}

DbStatement::~DbStatement()
{
    sqlite3_finalize(m_st);
}

QString DbStatement::error() const
{
    if (!m_error.isEmpty())
        return m_error;
    return m_db.isOpen() ? QString::fromUtf8(sqlite3_errmsg(m_db.m_db)) : QStringLiteral("database not open");
}

bool DbStatement::bind(const QVariantList &params)
{
    int i = 1;
    for (const QVariant &v : params) {
        bool ok;
        if (v.isNull()) {
            ok = bindNull(i);
        } else if (v.typeId() == QMetaType::Bool || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong
                   || v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::ULongLong) {
            ok = bindInt64(i, v.toLongLong());
        } else {
            // An empty key stays an empty text, never NULL: LIKE '%%' must
            // keep matching every non-null value.
            ok = bindText(i, v.toString());
        }
        if (!ok)
            return false;
        ++i;
    }
    return true;
}

bool DbStatement::bindInt64(int index, qint64 value)
{
    return m_st && sqlite3_bind_int64(m_st, index, value) == SQLITE_OK;
}

bool DbStatement::bindText(int index, QStringView text)
{
    const QByteArray u = text.toUtf8();
    return m_st
           && sqlite3_bind_text(m_st, index, u.constData() ? u.constData() : "", int(u.size()), SQLITE_TRANSIENT)
                  == SQLITE_OK;
}

bool DbStatement::bindUtf8(int index, QByteArrayView utf8)
{
    return m_st
           && sqlite3_bind_text(m_st, index, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_STATIC)
                  == SQLITE_OK;
}

bool DbStatement::bindNull(int index)
{
    return m_st && sqlite3_bind_null(m_st, index) == SQLITE_OK;
}

DbStatement::Step DbStatement::step()
{
    if (!m_st)
        return Error;
    switch (sqlite3_step(m_st)) {
    case SQLITE_ROW: return Row;
    case SQLITE_DONE: return Done;
    default: return Error;
    }
}

bool DbStatement::run()
{
    Step s;
    while ((s = step()) == Row) {}
    return s == Done;
}

void DbStatement::reset()
{
    if (m_st)
        sqlite3_reset(m_st);
}

int DbStatement::columnCount() const
{
    return m_st ? sqlite3_column_count(m_st) : 0;
}

QByteArrayView DbStatement::columnName(int column) const
{
    return QByteArrayView(sqlite3_column_name(m_st, column));
}

qint64 DbStatement::int64(int column) const
{
    return sqlite3_column_int64(m_st, column);
}

bool DbStatement::isNull(int column) const
{
    return sqlite3_column_type(m_st, column) == SQLITE_NULL;
}

QByteArrayView DbStatement::utf8(int column) const
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_st, column));
    return t ? QByteArrayView(t, sqlite3_column_bytes(m_st, column)) : QByteArrayView();
}

QString DbStatement::text(int column) const
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_st, column));
    if (!t)
        return QString();
    const int n = sqlite3_column_bytes(m_st, column);
    return n == 0 ? QString(QLatin1String("")) : QString::fromUtf8(t, n);
}

DbTransaction::DbTransaction(AddressDb &db) : m_db(db)
{
    m_active = db.exec(QStringLiteral("BEGIN IMMEDIATE"), {}, &m_error);
}

DbTransaction::~DbTransaction()
{
    if (m_active && stillOpen())
        m_db.exec(QStringLiteral("ROLLBACK"));
}

bool DbTransaction::stillOpen() const
{
    return m_db.inTransaction();
}

bool DbTransaction::commit()
{
    if (!m_active)
        return false;
    if (!m_db.exec(QStringLiteral("COMMIT"), {}, &m_error))
        return false; // the destructor rolls back
    m_active = false;
    return true;
}

bool AddressDb::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}
