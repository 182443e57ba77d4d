#pragma once
// Reads comma-separated fields as a stream, a fixed number per record,
// whatever lines they stand on:
//  - blanks before a field are skipped;
//  - a field that begins with a double quote runs to the next double quote
//    (commas and line ends inside belong to the value); anything between the
//    closing quote and the next delimiter is dropped;
//  - any other field ends at the next comma or line end (CR, LF or CR LF),
//    which is consumed; an empty line is one empty field;
//  - a line end is only a delimiter, so short and long lines shift the
//    reading into the next record;
//  - running out of input while a record lacks a field is an error.

#include <QString>
#include <QStringList>

class FieldReader {
public:
    explicit FieldReader(QString text);

    // True when no input is left (tested before each record).
    bool atEnd() const;
    // Reads n fields into out. False (and an error text) when the input ends
    // before the record is complete; out then holds the fields read so far.
    bool readRecord(int n, QStringList &out, QString *error = nullptr);

private:
    QString readField();
    QString m_text;
    qsizetype m_pos = 0;
};
