#include "addressdb.h"

#include "dbstatement.h"
#include "programfolder.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace {
// How long a statement waits for another program's lock before giving up.
int g_busyTimeoutMs = 3000;

QString lastError(sqlite3 *db, int rc)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

bool hasAddressTable(sqlite3 *db, QString *error)
{
    // Reading the schema fails on a file that is no database, without
    // writing to it.
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db,
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
        return false;
    }
    return true;
}
} // namespace

int AddressDb::busyTimeoutMs() { return g_busyTimeoutMs; }
void AddressDb::setBusyTimeoutMs(int ms) { g_busyTimeoutMs = ms; }

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
    // One thread uses the connection: no locking inside SQLite.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (exists ? 0 : SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = lastError(db, rc);
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, g_busyTimeoutMs);
    // A modest page cache and no memory map: a map would make the whole file
    // part of the program's memory once a search has read it, and the
    // system's file cache serves repeated searches as quickly.
    sqlite3_exec(db, "PRAGMA mmap_size=0; PRAGMA cache_size=-8192;", nullptr, nullptr, nullptr);

    if (!exists) {
        char *msg = nullptr;
        rc = sqlite3_exec(db, createTableSql(), nullptr, nullptr, &msg);
        if (rc != SQLITE_OK) {
            if (error)
                *error = QString::fromUtf8(msg ? msg : sqlite3_errstr(rc));
            sqlite3_free(msg);
            sqlite3_close(db);
            QFile::remove(path);
            return false;
        }
    } else if (!hasAddressTable(db, error)) {
        sqlite3_close(db);
        return false;
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

bool AddressDb::exec(const QString &sql, const QVariantList &params, QString *error, int *rowsChanged)
{
    DbStatement st(*this, sql);
    const bool ok = st.isValid() && st.bind(params) && st.run();
    if (!ok && error)
        *error = st.error();
    if (ok && rowsChanged)
        *rowsChanged = sqlite3_changes(m_db);
    return ok;
}

bool AddressDb::compactFile(const QString &path, const QString &tempPath, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("file not found: %1").arg(path));
    // Through a link, the file itself is replaced, not the link.
    const QString target = QFileInfo(path).canonicalFilePath();
    const bool tempWasThere = QFileInfo::exists(tempPath);

    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = lastError(db, rc);
        sqlite3_close(db);
        return fail(why);
    }
    sqlite3_busy_timeout(db, g_busyTimeoutMs);
    QString why;
    bool ok = hasAddressTable(db, &why);

    if (ok) {
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
        ok = rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW;
        if (ok) {
            const QString result = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
            if (result != QLatin1String("ok")) {
                ok = false;
                why = QStringLiteral("integrity check: %1").arg(result);
            }
        } else {
            why = lastError(db, rc);
        }
        sqlite3_finalize(st);
    }
    if (ok) {
        // VACUUM INTO refuses a destination that already holds data, so a
        // file left over from an earlier run stops here and the database
        // stays as it is.
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(db, "VACUUM INTO ?", -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            const QByteArray dest = QFile::encodeName(tempPath);
            sqlite3_bind_text(st, 1, dest.constData(), int(dest.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
        }
        ok = rc == SQLITE_DONE;
        if (!ok)
            why = lastError(db, rc);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    if (!ok) {
        // A copy cut short (a full disk) would stop every later compaction.
        if (!tempWasThere)
            QFile::remove(tempPath);
        return fail(why);
    }

    // One rename replaces the file: there is no moment without a database.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(tempPath);
        return fail(QStringLiteral("cannot replace %1: %2").arg(target, reason));
    }
    return true;
}

QString addressDateText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy/MM/dd"));
}

QString defaultDatabasePath(const QString &programFolder)
{
    return joinProgramFolder(programFolder, defaultDatabaseName());
}

QString compactTempPath(const QString &folder)
{
    return joinProgramFolder(folder, compactFileName());
}

QString compactTempPathFor(const QString &databasePath)
{
    const QFileInfo file(databasePath);
    const QString real = file.exists() ? file.canonicalFilePath() : file.absoluteFilePath();
    return compactTempPath(QFileInfo(real).absolutePath());
}
