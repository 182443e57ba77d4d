#pragma once
// Reading an address file for the import window and storing its usable rows
// in table 宛先. No widgets here: the window shows what these return.

#include "fieldreader.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct sqlite3;

// One record of an address file: the two name lines as read and the address
// after normalisation (narrowed, lower case).
struct ImportRow {
    QString name1;
    QString name2;
    QString address;
    bool operator==(const ImportRow &) const = default;
};

// The text of an address file in whichever encoding it was written (see
// textfile.h: UTF-8 with or without the byte-order mark, or code page 932).
// A file that is neither gives nullopt, an error text and *encodingUnknown,
// never substituted characters.
std::optional<QString> readImportText(const QString &path, QString *error = nullptr,
                                      bool *encodingUnknown = nullptr);

// A record is usable when its normalised address holds an at sign.
inline bool isUsableAddress(const QString &normalisedAddress)
{
    return normalisedAddress.contains(QLatin1Char('@'));
}

// Three fields per record from an address file, the address normalised.
class ImportRecordReader {
public:
    // Reads and decodes the whole file; false with an error text when it
    // cannot be read or decoded.
    bool open(const QString &path, QString *error = nullptr);
    // A reader over text already in memory.
    void setText(const QString &text);
    bool atEnd() const;
    // False when the input ends inside a record.
    bool next(ImportRow *row, QString *error = nullptr);

private:
    std::optional<FieldReader> m_reader;
    QStringList m_fields;
};

// Each address once for every repeat of it in a sorted list: an address that
// occurs n times is listed n - 1 times.
QStringList findDuplicates(const QStringList &sortedAddresses);

// What one reading of an address file gives the import window.
struct ImportPreview {
    QList<ImportRow> usable;       // in file order
    QList<ImportRow> rejected;     // in file order, no at sign in the address
    QStringList sortedAddresses;   // the usable addresses, sorted
    QStringList duplicates;        // see findDuplicates
    // Reading stopped on an error (unreadable file, bad bytes, input ending
    // inside a record). The rows read before it are kept; duplicates are not
    // searched.
    bool failed = false;
    bool encodingUnknown = false;  // the file is neither UTF-8 nor code page 932
    QString error;
};

ImportPreview previewImportText(const QString &text);
ImportPreview previewImportFile(const QString &path);

// How a cell of the preview is stored: the first 50 characters, trimmed of
// blanks (U+0020 only) at both ends; the address also lower-cased.
QString storedName(const QString &cell);
QString storedAddress(const QString &cell);

struct ImportCommitResult {
    enum Outcome {
        Committed,      // rows written (some may have failed, see notStored)
        EmptyCategory,  // nothing written
        CategoryInUse,  // nothing written
    };
    Outcome outcome = Committed;
    qsizetype stored = 0;
    qsizetype notStored = 0;
    qint64 firstId = 0;   // 宛先ID of the first stored row
    QString error;        // the first database error, if any
};

// Stores preview rows in table 宛先 under one import category.
class ImportCommitter {
public:
    // db may be null (no open database): every row then counts as not stored.
    explicit ImportCommitter(sqlite3 *db) : m_db(db) {}

    // True when some row of 宛先 already carries this category name. A
    // query that fails counts as "not in use"; the insert reports it.
    bool categoryInUse(const QString &category, QString *error = nullptr) const;

    // The category checks, then every row in one transaction: 宛先ID continues
    // from the largest in the table, 送信区分 true, 登録日 = today as
    // "YYYY/MM/DD", the category as given. A row whose insert fails is
    // skipped and takes no ID; if the database gives up the whole
    // transaction, nothing is stored and every row counts as not stored.
    ImportCommitResult commit(const QString &category, const QList<ImportRow> &rows,
                              const QDate &today) const;

private:
    sqlite3 *m_db;
};
