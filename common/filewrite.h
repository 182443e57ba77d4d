#pragma once
// Writing files that hold customer data: created readable by the user only,
// every byte written or a clear reason why not (a full disk named as such).

#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QString>

// "ディスクの空きがありません（path）".
QString diskFullText(const QString &path);

// The reason a write or sync to the file failed, from errno: a full disk in
// Japanese, anything else as the system says it; "path: reason".
QString fileErrorText(const QString &path, int error);

// Opens the file, creating it with mode 0600; a file that exists already is
// made 0600 as well. False with the reason when it can't be opened.
bool openPrivate(QFile &file, QIODevice::OpenMode mode, QString *error);
// The same for a file written through a temporary file: the temporary file
// is made 0600 before anything is written, so the file that takes the place
// of the old one at commit() is 0600 too.
bool openPrivate(QSaveFile &file, QIODevice::OpenMode mode, QString *error);

// Writes all of data, going on after a short write until the system refuses;
// false with the reason (fileErrorText) otherwise. For files opened
// Unbuffered: it writes to the descriptor itself.
bool writeFully(QFileDevice &file, QByteArrayView data, QString *error);

// Makes the system put what was written to the file on the disk (fsync);
// false with the reason (fileErrorText).
bool syncToDisk(QFileDevice &file, QString *error);
// The same for a file or folder by its path: a folder after a file in it
// was renamed, so the new name survives a power cut too.
bool syncToDisk(const QString &path, QString *error);

enum class FileAccess {
    Usual,     // a new file takes the user's usual mode, an existing one keeps its own
    OwnerOnly, // 0600
};
// Writes data as the whole file through a temporary file beside it, synced
// to the disk, that takes the file's place at the end: on any failure the
// file that was there stays as it was, and error says why.
bool saveWholeFile(const QString &path, QByteArrayView data, FileAccess access, QString *error);
