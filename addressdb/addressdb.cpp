#include "addressdb.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace {
// How long a statement waits for another program's lock before giving up.
constexpr int kBusyTimeoutMs = 3000;
}

AddressDb::~AddressDb()
{
    close();
}

const char *AddressDb::createTableSql()
{
    return "CREATE TABLE \"宛先\" ("
           "\"宛先ID\" INTEGER PRIMARY KEY, "
           "\"送信区分\" INTEGER, "
           "\"インポート区分名\" TEXT, "
           "\"宛先1\" TEXT, "
           "\"宛先2\" TEXT, "
           "\"メールアドレス\" TEXT, "
           "\"登録日\" TEXT, "
           "\"メモ\" TEXT)";
}

bool AddressDb::open(const QString &path, bool createIfMissing, QString *error)
{
    close();
    const bool exists = QFileInfo::exists(path);
    if (!exists && !createIfMissing) {
        if (error)
            *error = QStringLiteral("file not found: %1").arg(path);
        return false;
    }
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);

    if (!exists) {
        char *msg = nullptr;
        rc = sqlite3_exec(db, createTableSql(), nullptr, nullptr, &msg);
        if (rc != SQLITE_OK) {
            if (error)
                *error = QString::fromUtf8(msg ? msg : sqlite3_errstr(rc));
            sqlite3_free(msg);
            sqlite3_close(db);
            return false;
        }
    } else {
        // Reading the schema fails on a file that is no database, without
        // writing to it.
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(db,
                                "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='宛先'",
                                -1, &st, nullptr);
        bool hasTable = false;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW)
                hasTable = sqlite3_column_int(st, 0) > 0;
        }
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW || !hasTable) {
            if (error)
                *error = rc != SQLITE_ROW ? msg : QStringLiteral("table 宛先 not found");
            sqlite3_close(db);
            return false;
        }
    }
    m_db = db;
    m_path = path;
    return true;
}

void AddressDb::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}
