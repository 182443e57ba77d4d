#pragma once
// Address tables in real SQLite files for the tests of this folder.

#include "addressdb.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <sqlite3.h>

struct AddrRow {
    qint64 id;
    QVariant flag; // 1, 0 or null
    QVariant category, name1, name2, address, date, memo;
};

// Creates path with table 宛先 and the rows; false on any failure.
inline bool makeAddressDb(const QString &path, const QList<AddrRow> &rows)
{
    AddressDb db;
    if (!db.open(path, true))
        return false;
    if (!db.exec(QStringLiteral("BEGIN")))
        return false;
    for (const AddrRow &r : rows) {
        if (!db.exec(QStringLiteral("INSERT INTO 宛先 VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                     {QVariant(r.id), r.flag, r.category, r.name1, r.name2, r.address, r.date, r.memo}))
            return false;
    }
    return db.exec(QStringLiteral("COMMIT"));
}

// The ids a query over 宛先 returns, in its order; {-1} when it fails.
inline QList<qint64> queryIds(const QString &path,
                              const QString &sql = QStringLiteral("SELECT 宛先ID FROM 宛先 ORDER BY 宛先ID"))
{
    QList<qint64> out;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return {-1};
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return {-1};
    }
    while (sqlite3_step(st) == SQLITE_ROW)
        out << sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

inline QVariant null()
{
    return QVariant();
}
inline QVariant s(const char *utf8)
{
    return QVariant(QString::fromUtf8(utf8));
}

// A mixed table: categories, names with apostrophes and wildcards, held,
// null and missing addresses, dates over two months.
inline QList<AddrRow> sampleRows()
{
    return {
        {1, 1, s("展示会"), s("山田 太郎"), s("営業部"), s("taro@example.jp"), s("2005/04/01"), null()},
        {2, 0, s("展示会"), s("O'Brien"), s(""), s("obrien@example.com"), s("2005/04/15"), s("要連絡")},
        {3, 1, s("名簿2005"), s("鈴木 花子"), null(), s("hanako@example.jp"), s("2005/05/02"), null()},
        {4, null(), s("名簿2005"), s("100%_達成"), s("総務"), s("kanri@example.jp"), s("2005/04/30"), s("")},
        {5, 1, s("展示会"), s("佐藤 次郎"), s("営業部"), s("no-at-sign"), s("2005/05/20"), null()},
        {6, 1, null(), null(), null(), null(), s("2005/04/01"), null()},
        {7, 0, s("名簿2005"), s("1000X達成"), s("営業部"), s("x@example.jp"), s("2005/06/01"), null()},
    };
}
