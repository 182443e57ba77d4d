#include "csvimport.h"

#include "textcodec.h"
#include "textfile.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <sqlite3.h>

namespace {

constexpr qsizetype kStoredLength = 50;

QString cutCharacters(const QString &s, qsizetype n)
{
    if (s.size() <= n)
        return s;
    // Never keep half of a surrogate pair.
    if (QChar::isHighSurrogate(s.at(n - 1).unicode()))
        --n;
    return s.left(n);
}

QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return (b == 0 && e == s.size()) ? s : s.mid(b, e - b);
}

QString sqliteError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Finalises a statement on every path.
struct Statement {
    sqlite3_stmt *st = nullptr;
    ~Statement() { sqlite3_finalize(st); }
};

bool bindText(sqlite3_stmt *st, int index, const QString &text)
{
    return sqlite3_bind_text16(st, index, text.utf16(),
                               static_cast<int>(text.size() * sizeof(char16_t)),
                               SQLITE_TRANSIENT) == SQLITE_OK;
}

// The database keeps UTF-8; converting here is quicker than letting it
// translate UTF-16 itself. The bytes must outlive the step.
bool bindUtf8(sqlite3_stmt *st, int index, const QByteArray &utf8)
{
    return sqlite3_bind_text(st, index, utf8.constData(), static_cast<int>(utf8.size()),
                             SQLITE_STATIC) == SQLITE_OK;
}

int pragmaValue(sqlite3 *db, const char *sql)
{
    Statement q;
    if (sqlite3_prepare_v2(db, sql, -1, &q.st, nullptr) != SQLITE_OK || sqlite3_step(q.st) != SQLITE_ROW)
        return -2000; // SQLite's default
    return sqlite3_column_int(q.st, 0);
}

} // namespace

std::optional<QString> readImportText(const QString &path, QString *error, bool *encodingUnknown)
{
    if (encodingUnknown)
        *encodingUnknown = false;
    const std::optional<QByteArray> bytes = readFileBytes(path, error);
    if (!bytes)
        return std::nullopt;
    std::optional<QString> text = decodeText(*bytes);
    if (!text) {
        if (error)
            *error = QStringLiteral("neither UTF-8 nor code page 932 text");
        if (encodingUnknown)
            *encodingUnknown = true;
    }
    return text;
}

bool ImportRecordReader::open(const QString &path, QString *error)
{
    m_reader.reset();
    std::optional<QString> text = readImportText(path, error);
    if (!text)
        return false;
    setText(*text);
    return true;
}

void ImportRecordReader::setText(const QString &text)
{
    m_reader.emplace(text);
}

bool ImportRecordReader::atEnd() const
{
    return !m_reader || m_reader->atEnd();
}

bool ImportRecordReader::next(ImportRow *row, QString *error)
{
    if (!m_reader) {
        if (error)
            *error = QStringLiteral("no file open");
        return false;
    }
    if (!m_reader->readRecord(3, m_fields, error))
        return false;
    row->name1 = m_fields.at(0);
    row->name2 = m_fields.at(1);
    row->address = narrowLower(m_fields.at(2));
    return true;
}

QStringList findDuplicates(const QStringList &sortedAddresses)
{
    QStringList out;
    for (qsizetype k = 0; k + 1 < sortedAddresses.size(); ++k)
        if (sortedAddresses.at(k) == sortedAddresses.at(k + 1))
            out.append(sortedAddresses.at(k));
    return out;
}

ImportPreview previewImportText(const QString &text)
{
    ImportPreview p;
    ImportRecordReader reader;
    reader.setText(text);
    ImportRow row;
    while (!reader.atEnd()) {
        if (!reader.next(&row, &p.error)) {
            p.failed = true;
            break;
        }
        if (isUsableAddress(row.address)) {
            p.sortedAddresses.append(row.address);
            p.usable.append(std::move(row));
        } else {
            p.rejected.append(std::move(row));
        }
    }
    // A plain ordering puts equal addresses side by side, which is all the
    // duplicate scan needs.
    std::sort(p.sortedAddresses.begin(), p.sortedAddresses.end());
    if (!p.failed)
        p.duplicates = findDuplicates(p.sortedAddresses);
    return p;
}

ImportPreview previewImportFile(const QString &path)
{
    QString error;
    bool encodingUnknown = false;
    std::optional<QString> text = readImportText(path, &error, &encodingUnknown);
    if (!text) {
        ImportPreview p;
        p.failed = true;
        p.encodingUnknown = encodingUnknown;
        p.error = error;
        return p;
    }
    return previewImportText(*text);
}

QString storedName(const QString &cell)
{
    return trimBlanks(cutCharacters(cell, kStoredLength));
}

QString storedAddress(const QString &cell)
{
    return trimBlanks(cutCharacters(cell, kStoredLength).toLower());
}

bool ImportCommitter::categoryInUse(const QString &category, QString *error) const
{
    if (!m_db)
        return false;
    Statement q;
    if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM \"宛先\" WHERE \"インポート区分名\" = ?1 LIMIT 1",
                           -1, &q.st, nullptr) != SQLITE_OK
        || !bindText(q.st, 1, category)) {
        if (error)
            *error = sqliteError(m_db);
        return false;
    }
    const int rc = sqlite3_step(q.st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && error)
        *error = sqliteError(m_db);
    return rc == SQLITE_ROW;
}

ImportCommitResult ImportCommitter::commit(const QString &category, const QList<ImportRow> &rows,
                                           const QDate &today) const
{
    ImportCommitResult r;
    if (category.isEmpty()) {
        r.outcome = ImportCommitResult::EmptyCategory;
        return r;
    }
    if (categoryInUse(category)) {
        r.outcome = ImportCommitResult::CategoryInUse;
        return r;
    }
    if (rows.isEmpty())
        return r;

    auto giveUp = [&](const QString &why) {
        if (r.error.isEmpty())
            r.error = why;
        r.stored = 0;
        r.notStored = rows.size();
        r.firstId = 0;
        return r;
    };
    if (!m_db)
        return giveUp(QStringLiteral("no database open"));
    // A page cache big enough for the whole import keeps it from spilling
    // (and syncing) before the commit; the connection's own size comes back
    // afterwards.
    const int cacheSize = pragmaValue(m_db, "PRAGMA cache_size");
    sqlite3_exec(m_db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
    struct RestoreCache {
        sqlite3 *db;
        int size;
        ~RestoreCache()
        {
            const QByteArray sql = "PRAGMA cache_size = " + QByteArray::number(size);
            sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
        }
    } restoreCache{m_db, cacheSize};

    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return giveUp(sqliteError(m_db));
    auto rollback = [&] {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    };

    // The largest ID, read once; every stored row takes the next one, as
    // reading it again before each row would give.
    qint64 maxId = 0;
    {
        Statement q;
        if (sqlite3_prepare_v2(m_db, "SELECT max(\"宛先ID\") FROM \"宛先\"", -1, &q.st, nullptr) != SQLITE_OK
            || sqlite3_step(q.st) != SQLITE_ROW) {
            const QString why = sqliteError(m_db);
            rollback();
            return giveUp(why);
        }
        maxId = sqlite3_column_int64(q.st, 0); // NULL on an empty table reads as 0
    }

    Statement ins;
    if (sqlite3_prepare_v2(m_db,
                           "INSERT INTO \"宛先\" (\"宛先ID\", \"インポート区分名\", \"登録日\", \"送信区分\", "
                           "\"宛先1\", \"宛先2\", \"メールアドレス\") VALUES (?1, ?2, ?3, 1, ?4, ?5, ?6)",
                           -1, &ins.st, nullptr) != SQLITE_OK) {
        const QString why = sqliteError(m_db);
        rollback();
        return giveUp(why);
    }
    const QString date = today.toString(QStringLiteral("yyyy/MM/dd"));
    bindText(ins.st, 2, category);
    bindText(ins.st, 3, date);

    QByteArray name1, name2, address; // alive until the row is stepped
    for (const ImportRow &row : rows) {
        sqlite3_reset(ins.st);
        name1 = storedName(row.name1).toUtf8();
        name2 = storedName(row.name2).toUtf8();
        address = storedAddress(row.address).toUtf8();
        const bool bound = sqlite3_bind_int64(ins.st, 1, maxId + 1) == SQLITE_OK
                           && bindUtf8(ins.st, 4, name1)
                           && bindUtf8(ins.st, 5, name2)
                           && bindUtf8(ins.st, 6, address);
        if (bound && sqlite3_step(ins.st) == SQLITE_DONE) {
            ++maxId;
            if (r.stored++ == 0)
                r.firstId = maxId;
            continue;
        }
        if (r.error.isEmpty())
            r.error = sqliteError(m_db);
        ++r.notStored;
        // A failed statement undoes only itself, unless the database had to
        // abandon the whole transaction; then nothing of this import is kept.
        if (sqlite3_get_autocommit(m_db))
            return giveUp(r.error);
    }
    sqlite3_finalize(ins.st);
    ins.st = nullptr;

    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString why = sqliteError(m_db);
        rollback();
        return giveUp(why);
    }
    return r;
}
