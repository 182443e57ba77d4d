#pragma once
// The address database: one SQLite file (extension .cdb) holding table 宛先
// with its eight columns in this order:
//   宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ
// 登録日 is text "YYYY/MM/DD"; 送信区分 is 0/1 (NULL possible).

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

class AddressDb {
public:
    AddressDb() = default;
    ~AddressDb();
    AddressDb(const AddressDb &) = delete;
    AddressDb &operator=(const AddressDb &) = delete;

    // Opens the file. A missing file is created with an empty table when
    // createIfMissing is set (the default database); otherwise it is an error.
    // A file that is no database, or lacks the table, is an error and is left
    // untouched. Another program's lock makes statements give up after a few
    // seconds instead of waiting for ever.
    bool open(const QString &path, bool createIfMissing, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }
    QString path() const { return m_path; }

    // Runs a statement without rows; params are bound in order (null QVariant
    // binds NULL, integers and bools bind integers, everything else text).
    // rowsChanged receives the number of rows written.
    bool exec(const QString &sql, const QVariantList &params = {}, QString *error = nullptr,
              int *rowsChanged = nullptr);

    static const char *createTableSql();

    // File operations on a closed file. compactFile checks the file's
    // integrity, writes a compacted copy to tempPath (which must not hold
    // data already) and puts the copy in place of the file in one rename.
    static bool compactFile(const QString &path, const QString &tempPath, QString *error = nullptr);

    static int busyTimeoutMs();
    // Tests shorten the wait for another program's lock.
    static void setBusyTimeoutMs(int ms);

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
};

// Binds params to a prepared statement (1-based, in order).
bool bindParams(sqlite3_stmt *st, const QVariantList &params);

// 登録日 as stored: "YYYY/MM/DD", so that a partial key such as "2005/04"
// finds the rows of April 2005.
QString addressDateText(const QDate &date);

// The database beside the program ("Quillpost.cdb") and the temporary file of
// the compaction ("CompactFileName.cdb").
QString defaultDatabasePath(const QString &programFolder);
QString compactTempPath(const QString &programFolder);
