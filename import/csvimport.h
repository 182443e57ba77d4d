#pragma once
// Reading an address file for the import window and storing its usable rows
// in table 宛先. No widgets here: the window shows what these return.

#include "fieldreader.h"
#include "recipientrows.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class AddressDb;
class TextFileStream;

// One record of an address file: the two name lines as read and the address
// after normalisation (narrowed, lower case, blanks at both ends trimmed).
using ImportRow = RecipientFields;
// Records kept compact: a million rows take some tens of MB.
using ImportRows = RecipientRows;

// A record the import takes: its normalised address passes the rule every
// address passes before it is sent (parseMailAddress), so the table and the
// send list never hold an address the run would refuse, and it fits the
// table's column whole: an address cut short would be another address.
bool isImportableAddress(const QString &normalisedAddress);
// Why the import leaves a record out, in Japanese; "" when it takes it.
QString importRefusal(const QString &normalisedAddress);

// A record the send command's list takes: its address holds an at sign. The
// run gives the entries the address rule refuses their error records.
inline bool isUsableAddress(const QString &normalisedAddress)
{
    return normalisedAddress.contains(QLatin1Char('@'));
}

// The address as the import keeps it: narrowed, lower case, and without the
// blanks at either end (they would make one address look like two).
QString normaliseAddress(QStringView field);

// What an address file may take before its reading fills memory: the file
// itself, and each line (kMaxLineBytes) or record (as many characters) of it.
constexpr qint64 kMaxListFileBytes = qint64(256) << 20;
enum class ListLimit { None, File, Line, Record };

// Three fields per record from an address file, the address normalised. The
// file is read a piece at a time, within the limits above.
class ImportRecordReader {
public:
    ImportRecordReader();
    ~ImportRecordReader();
    // Opens the file and settles its encoding; false with an error text when
    // it cannot be read.
    bool open(const QString &path, QString *error = nullptr);
    // A reader over text already in memory.
    void setText(const QString &text);
    bool atEnd();
    // False when the input ends inside a record or the file turns out not
    // to be in its encoding (see encodingUnknown).
    bool next(ImportRow *row, QString *error = nullptr);
    // The same without copying the names: the views stay valid until the
    // next call.
    bool nextViews(QStringView *name1, QStringView *name2, QString *address, QString *error = nullptr);
    bool encodingUnknown() const;
    // A fault of the file itself (unreadable, not text, a limit passed): its
    // error text names the file.
    bool fileFailed() const;
    // The limit that stopped the reading, and the line or record number.
    ListLimit overLimit(qint64 *at = nullptr) const;

private:
    std::unique_ptr<TextFileStream> m_stream;
    std::optional<FieldReader> m_reader;
    qint64 m_records = 0;
};

// Each address once for every repeat of it in a sorted list: an address that
// occurs n times is listed n - 1 times.
QStringList findDuplicates(const QStringList &sortedAddresses);

// What one reading of an address file gives the import window.
struct ImportPreview {
    ImportRows usable;   // in file order
    ImportRows rejected; // in file order, the address refused by isImportableAddress
    // The usable rows in the order of their addresses.
    std::vector<quint32> byAddress;
    QStringList duplicates; // repeated addresses, see findDuplicates
    // Reading stopped on an error (unreadable file, bad bytes, input ending
    // inside a record). The rows read before it are kept; duplicates are not
    // searched. A file in no known encoding keeps no rows.
    bool failed = false;
    bool encodingUnknown = false; // the file is neither UTF-8 nor code page 932
    ListLimit overLimit = ListLimit::None;
    qint64 overLimitAt = 0; // the line or record
    QString error;

    QString sortedAddress(qsizetype k) const { return usable.text(byAddress[k], 2); }
    QStringList sortedAddresses() const;
};

ImportPreview previewImportText(const QString &text);
ImportPreview previewImportFile(const QString &path);

// How a cell of the preview is stored: the first 50 characters, trimmed of
// blanks (U+0020 only) at both ends; the address also lower-cased.
QString storedName(const QString &cell);
QString storedAddress(const QString &cell);

struct ImportCommitResult {
    enum Outcome {
        Committed,     // rows written (some may have failed, see notStored)
        EmptyCategory, // nothing written
        CategoryInUse, // nothing written
    };
    Outcome outcome = Committed;
    qsizetype stored = 0;
    qsizetype notStored = 0;
    qint64 firstId = 0; // 宛先ID of the first stored row
    int suppressed = 0; // stored rows held because their address is suppressed
    QString error;      // the first database error, if any
};

// Stores preview rows in table 宛先 under one import category.
class ImportCommitter {
public:
    // db may be null or closed: every row then counts as not stored.
    explicit ImportCommitter(AddressDb *db) : m_db(db) {}

    // True when some row of 宛先 already carries this category name, letter
    // case of ASCII aside (as the search compares). A query that fails
    // counts as "not in use"; the insert reports it.
    bool categoryInUse(const QString &category, QString *error = nullptr) const;

    // The category checks, then every row in one transaction: 宛先ID continues
    // from the largest in the table, 送信区分 true, 登録日 = today as
    // "YYYY/MM/DD", the category as given. A row whose insert fails is
    // skipped and takes no ID; if the database gives up the whole
    // transaction, nothing is stored and every row counts as not stored.
    ImportCommitResult commit(const QString &category, const ImportRows &rows, const QDate &today) const;

private:
    AddressDb *m_db;
};
