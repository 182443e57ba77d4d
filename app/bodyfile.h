#pragma once
// The body file of a message: the subject on the first line, the body on the
// lines after it, CR LF line ends. It is written in code page 932 when every
// character fits, otherwise in UTF-8 with a byte-order mark; it is read in
// either, or in UTF-8 without the mark as other editors write it.

#include "textfile.h"

#include <QString>

struct BodyFileRead;

struct BodyFile {
    // A larger body file is refused before it is read.
    static constexpr qint64 kMaxBytes = qint64(10) << 20;

    QString subject;
    // CR LF line ends; on reading, every line ends with one.
    QString body;

    // The file's content: subject, CR LF, the body as it stands, CR LF.
    QString text() const;
    // Each character code page 932 cannot write back unchanged, once; when
    // there are any, write() uses UTF-8.
    QString cp932Unwritable() const;
    // Through a temporary file: a failed write keeps the old file. The error
    // text names the file and the reason.
    bool write(const QString &path, QString *error = nullptr) const;

    static BodyFileRead read(const QString &path);
};

struct BodyFileRead {
    enum Status {
        Read,
        Empty,           // no bytes to read: no subject line
        Unreadable,      // error says why
        UnknownEncoding, // neither UTF-8 nor code page 932
        TooLarge,        // over kMaxBytes; error says so
    };
    Status status = Unreadable;
    QString error;
    BodyFile file;
    TextEncoding encoding = TextEncoding::Cp932; // as the file was read
};
