#pragma once
// The one way to run SQL on an AddressDb: a prepared statement that finalises
// itself, and a transaction that rolls back unless it was committed.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVariantList>

class AddressDb;
struct sqlite3_stmt;

class DbStatement {
public:
    enum Step { Row, Done, Error };

    DbStatement(AddressDb &db, const char *sql) : DbStatement(db, QByteArrayView(sql)) {}
    DbStatement(AddressDb &db, const QByteArray &sql) : DbStatement(db, QByteArrayView(sql)) {}
    DbStatement(AddressDb &db, const QString &sql) : DbStatement(db, sql.toUtf8()) {}
    DbStatement(AddressDb &db, QByteArrayView sql);
    ~DbStatement();
    DbStatement(const DbStatement &) = delete;
    DbStatement &operator=(const DbStatement &) = delete;

    // Prepared: false when the database is closed or the SQL is refused.
    bool isValid() const { return m_st != nullptr; }
    // What the database said about the last failure.
    QString error() const;

    // Parameters by position (1-based). A null QVariant binds NULL,
    // integers and bools bind integers, anything else binds text (an empty
    // text stays empty, never NULL).
    bool bind(const QVariantList &params);
    bool bindInt64(int index, qint64 value);
    bool bindText(int index, QStringView text);
    // The bytes must stay alive until the statement has been stepped.
    bool bindUtf8(int index, QByteArrayView utf8);
    bool bindNull(int index);

    Step step();
    // Steps to the end; true when the statement finished.
    bool run();
    void reset();

    int columnCount() const;
    QByteArrayView columnName(int column) const;
    qint64 int64(int column) const;
    bool isNull(int column) const;
    // The column's bytes, valid until the next step.
    QByteArrayView utf8(int column) const;
    // A NULL reads as a null QString, an empty text as an empty one.
    QString text(int column) const;

private:
    AddressDb &m_db;
    sqlite3_stmt *m_st = nullptr;
    QString m_error;
};

class DbTransaction {
public:
    // Begins at once, taking the write lock (BEGIN IMMEDIATE).
    explicit DbTransaction(AddressDb &db);
    ~DbTransaction();
    DbTransaction(const DbTransaction &) = delete;
    DbTransaction &operator=(const DbTransaction &) = delete;

    bool isActive() const { return m_active; }
    QString error() const { return m_error; }
    // False when the database gave the transaction up on its own (a failed
    // statement can end it); nothing of it is kept then.
    bool stillOpen() const;
    bool commit();

private:
    AddressDb &m_db;
    bool m_active = false;
    QString m_error;
};
