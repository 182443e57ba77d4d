#pragma once
// SendMail.Log: the record of the last send run. Code page 932, CR LF, five
// comma-separated fields per record, written as they are. Each record goes to
// the operating system as soon as it is written, so a run that is killed
// leaves the records of every message already handed over; a record is
// written whole or not at all. The file is readable by its owner only.

#include <QDateTime>
#include <QFile>
#include <QString>

class SentMailLog {
public:
    SentMailLog() = default;
    ~SentMailLog() { close(); }
    SentMailLog(const SentMailLog &) = delete;
    SentMailLog &operator=(const SentMailLog &) = delete;

    // The log beside the program (folder + "/" unless it already ends in one).
    static QString pathIn(const QString &programFolder);
    // General date and time of a Japanese system: 2005/04/01 9:05:07.
    static QString dateTimeText(const QDateTime &when);
    // Error texts longer than this are cut, at a character boundary.
    static constexpr qsizetype kMaxErrorChars = 512;
    // "送信エラー" and the error text on one line, cut to kMaxErrorChars,
    // with its first three commas made blanks.
    static QString errorStatus(const QString &errorText);
    // "不明" and why the message's fate is unknown, mended the same way.
    static QString uncertainStatus(const QString &why);
    static QString mendErrorText(const QString &errorText);
    // A name, address, server or subject as written in a record: as it is,
    // or quoted where it would split the record (a comma, a line end).
    static QString field(const QString &text);

    // Creates or empties the file and writes the header record.
    bool open(const QString &path, const QString &fromName, const QString &from, const QString &server,
              const QString &subject, const QDateTime &when);
    // For a resumed run: goes on after the records of the same run (same
    // header but for its time) already in the file, a record cut off at its
    // end dropped; otherwise as open().
    bool openToContinue(const QString &path, const QString &fromName, const QString &from, const QString &server,
                        const QString &subject, const QDateTime &when);
    bool writeSuccess(const QString &name1, const QString &name2, const QString &address, const QDateTime &when);
    bool writeError(const QString &name1, const QString &name2, const QString &address, const QString &errorText,
                    const QDateTime &when);
    bool writeUncertain(const QString &name1, const QString &name2, const QString &address, const QString &why,
                        const QDateTime &when);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_error; }

private:
    bool writeRecord(const QString &f1, const QString &f2, const QString &f3, const QString &f4, const QString &f5);
    QFile m_file;
    QString m_error;
};
