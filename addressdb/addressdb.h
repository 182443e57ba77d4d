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
    QString path() const { return m_path; }
    // A transaction begun and not yet ended.
    bool inTransaction() const;

    // Runs a statement without rows; params are bound in order (null QVariant
    // binds NULL, integers and bools bind integers, everything else text).
    // rowsChanged receives the number of rows written.
    bool exec(const QString &sql, const QVariantList &params = {}, QString *error = nullptr,
              int *rowsChanged = nullptr);

    static const char *createTableSql();

    // File operations on a closed file. compactFile checks the file's
    // integrity, writes a compacted copy to tempPath (which must not hold
    // data already; see compactTempPathFor), syncs it to the disk with the
    // file's own permissions, and puts the copy in place of the file in one
    // rename. A copy it wrote is removed again when a later step fails, so
    // only a file that was there before can be left at tempPath.
    static bool compactFile(const QString &path, const QString &tempPath, QString *error = nullptr);

    static int busyTimeoutMs();
    // Tests shorten the wait for another program's lock.
    static void setBusyTimeoutMs(int ms);

private:
    friend class DbStatement;
    friend class DbTransaction;
    sqlite3 *m_db = nullptr;
    QString m_path;
};

// 登録日 as stored: "YYYY/MM/DD", so that a partial key such as "2005/04"
// finds the rows of April 2005.
QString addressDateText(const QDate &date);

// The database beside the program ("Quillpost.cdb"), and the temporary file
// of the compaction ("CompactFileName.cdb") in a folder.
QString defaultDatabasePath(const QString &programFolder);
QString compactTempPath(const QString &folder);
// The temporary file of the compaction of databasePath: in the folder of the
// file itself (links followed), so that the copy replaces it by a rename on
// one file system wherever the database lives.
QString compactTempPathFor(const QString &databasePath);
