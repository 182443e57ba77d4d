#include "addressdb.h"

#include "dbstatement.h"
#include "filewrite.h"
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

} // namespace

int AddressDb::busyTimeoutMs()
{
    return g_busyTimeoutMs;
}
void AddressDb::setBusyTimeoutMs(int ms)
{
    g_busyTimeoutMs = ms;
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
    m_db = db;
    // A modest page cache and no memory map: a map would make the whole file
    // part of the program's memory once a search has read it, and the
    // system's file cache serves repeated searches as quickly.
    exec(QStringLiteral("PRAGMA mmap_size=0"));
    exec(QStringLiteral("PRAGMA cache_size=-8192"));

    QString why;
    if (!exists) {
        if (!exec(QString::fromUtf8(createTableSql()), {}, &why)) {
            close();
            QFile::remove(path);
            if (error)
                *error = why;
            return false;
        }
    } else {
        // Reading the schema fails on a file that is no database, without
        // writing to it.
        DbStatement check(*this, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='宛先'");
        const bool read = check.step() == DbStatement::Row;
        why = read ? QStringLiteral("table 宛先 not found") : check.error();
        if (!read || check.int64(0) == 0) {
            close();
            if (error)
                *error = why;
            return false;
        }
    }
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

    QString why;
    bool ok;
    {
        AddressDb db;
        ok = db.open(path, false, &why);
        if (ok) {
            DbStatement check(db, "PRAGMA integrity_check");
            ok = check.step() == DbStatement::Row;
            if (!ok)
                why = check.error();
            else if (const QString result = check.text(0); result != QLatin1String("ok")) {
                ok = false;
                why = QStringLiteral("integrity check: %1").arg(result);
            }
        }
        if (ok) {
            // VACUUM INTO refuses a destination that already holds data, so
            // a file left over from an earlier run stops here and the
            // database stays as it is.
            DbStatement vacuum(db, "VACUUM INTO ?");
            ok = vacuum.bindText(1, tempPath) && vacuum.run();
            if (!ok)
                why = vacuum.error();
        }
    }
    if (!ok) {
        // A copy cut short (a full disk) would stop every later compaction.
        if (!tempWasThere)
            QFile::remove(tempPath);
        return fail(why);
    }

    // The copy is on the disk before it takes the file's name, so a power
    // cut leaves the old file or the whole new one; and it is no more
    // readable to others than the file was.
    if (!QFile::setPermissions(tempPath, QFile::permissions(target)) || !syncToDisk(tempPath, &why)) {
        if (why.isEmpty())
            why = QStringLiteral("cannot set the permissions of %1").arg(tempPath);
        QFile::remove(tempPath);
        return fail(why);
    }
    // One rename replaces the file: there is no moment without a database.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(tempPath);
        return fail(QStringLiteral("cannot replace %1: %2").arg(target, reason));
    }
    // The new name reaches the disk with its folder. Until it does, the old
    // name holds the old, whole file: nothing to report if that sync fails.
    syncToDisk(QFileInfo(target).absolutePath(), nullptr);
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
