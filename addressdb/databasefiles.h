#pragma once
// The address book's operations on whole database files: opening, changing
// to another file, saving a copy under a new name, compacting and emptying
// the table. They work on one connection and report outcomes; the window
// asks the questions and words the messages.

#include <QString>

class AddressDb;

struct DatabaseFileResult {
    bool ok = false;
    // Changing files: the chosen file does not exist.
    bool missing = false;
    // Compaction: a temporary file of an earlier run that stops it until
    // deleted.
    QString leftover;
    // The reason from SQLite or the file system.
    QString error;
};

class DatabaseFiles {
public:
    // defaultPath is the database beside the program, the only file created
    // when missing.
    DatabaseFiles(AddressDb &db, const QString &defaultPath);

    // Whether two paths name one file (links followed where the files exist).
    static bool sameFile(const QString &a, const QString &b);

    // Closes the connection and opens path on it.
    bool open(const QString &path, QString *error = nullptr);
    // Moves the connection from current to path. A file that won't open as an
    // address database leaves the connection on current.
    DatabaseFileResult switchTo(const QString &current, const QString &path);
    // Copies current to target and moves the connection to the copy. A file
    // at target is replaced: the caller has asked about it. On failure the
    // connection stays on current.
    DatabaseFileResult saveAs(const QString &current, const QString &target);
    // Compacts current (closed for the time) and opens it again, compacted or
    // not.
    DatabaseFileResult compact(const QString &current);
    // Deletes every row of the table.
    DatabaseFileResult initialise();

private:
    AddressDb &m_db;
    QString m_defaultPath;
};
