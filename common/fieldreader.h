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
//  - running out of input while a record lacks a field is an error;
//  - with a limit set, so is a record longer than the limit (a quote that
//    never closes would otherwise take in the rest of the file).
// The text comes whole or in pieces from a source, so a large file is never
// held in memory at once.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

class FieldReader {
public:
    // Gives the next piece of text in *more; false when the input is over.
    using Source = std::function<bool(QString *more)>;

    explicit FieldReader(QString text);
    explicit FieldReader(Source source);

    // The longest record, in characters up to the end of its last field;
    // 0: no limit.
    void setMaxRecordLength(qsizetype characters) { m_maxRecord = characters; }
    // The last record read passed that limit.
    bool recordTooLong() const { return m_tooLong; }

    // True when no input is left (tested before each record).
    bool atEnd();
    // Reads n fields into out. False (and an error text) when the input ends
    // before the record is complete; out then holds the fields read so far.
    bool readRecord(int n, QStringList &out, QString *error = nullptr);
    // The same without copying: the views stay valid until the next call.
    // n is at most kMaxViews.
    static constexpr int kMaxViews = 8;
    bool readRecordViews(int n, QStringView *out, QString *error = nullptr);

private:
    struct Field {
        qsizetype begin = 0;
        qsizetype length = 0;
    };
    // Scans one field from m_pos. False when the scan reached the end of the
    // text held and more may follow: nothing is consumed then.
    bool scanField(Field *field, bool final);
    // False when the record grows past the limit before the field ends.
    bool readField(Field *field);
    bool hasInput();
    bool refill();

    QString m_text;
    qsizetype m_pos = 0;
    qsizetype m_keep = 0; // text before this offset may be dropped on refill
    Source m_source;
    qsizetype m_maxRecord = 0;
    bool m_tooLong = false;
    Field m_fields[kMaxViews];
    int m_got = 0;
};
