#pragma once
// Writing files that hold customer data: created readable by the user only,
// every byte written or a clear reason why not (a full disk named as such).

#include <QFile>
#include <QString>

// "ディスクの空きがありません（path）".
QString diskFullText(const QString &path);

// The reason a write or sync to the file failed, from errno: a full disk in
// Japanese, anything else as the system says it; "path: reason".
QString fileErrorText(const QString &path, int error);

// Opens the file, creating it with mode 0600; a file that exists already is
// made 0600 as well. False with the reason when it can't be opened.
bool openPrivate(QFile &file, QIODevice::OpenMode mode, QString *error);

// Writes all of data, going on after a short write until the system refuses;
// false with the reason (fileErrorText) otherwise. For files opened
// Unbuffered: it writes to the descriptor itself.
bool writeFully(QFile &file, QByteArrayView data, QString *error);
