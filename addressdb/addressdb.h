#pragma once
// The address database: one SQLite file (extension .cdb) holding table 宛先
// with its eight columns in this order:
//   宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ
// 登録日 is text "YYYY/MM/DD"; 送信区分 is 0/1 (NULL possible).

#include <QString>

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
    // untouched.
    bool open(const QString &path, bool createIfMissing, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }
    QString path() const { return m_path; }

    static const char *createTableSql();

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
};
