#pragma once
// Reads a sent-mail log: CP932 text, five comma-separated fields per record,
// the first record being the header (sender name, sender address, server,
// subject, date-time) and every further record one recipient row.

#include <QList>
#include <QString>
#include <QStringList>

struct LogContents {
    bool exists = false;     // a file was found at the path
    bool hasHeader = false;  // the header record was read completely
    QStringList header;      // five fields when hasHeader
    QList<QStringList> rows; // complete records after the header, in file order
    bool complete = false;   // read to the end without an error
    QString error;           // what stopped the reading, when !complete
};

// Reads the whole log at path. Reading stops at the first record that cannot
// be completed or at bytes that are not CP932; what was read before stays.
LogContents readLogFile(const QString &path);

// The same, on the file's bytes.
LogContents parseLogBytes(const QByteArray &bytes);

// The status bar text for a header record.
QString logStatusText(const QStringList &header);
