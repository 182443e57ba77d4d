#pragma once
// Runs the program as "quillpost send" with a settings folder of its own, as
// a script or a scheduled job runs it.

#include <QProcess>
#include <QString>
#include <QStringList>

struct CommandRun {
    int exit = -1; // -1: it did not end normally
    QString out, err;
};

class CommandWorld {
public:
    // Settings under configFolder, working folder workFolder.
    CommandWorld(const QString &configFolder, const QString &workFolder);

    // Profile `profile` of the settings: a plain SMTP account on loopback.
    void writeAccount(int profile, int port, int maxPerMinute = 0) const;
    // Runs to its end (at most a minute).
    CommandRun run(const QStringList &arguments) const;
    // Starts it and returns at once; the caller waits or kills.
    void start(QProcess &process, const QStringList &arguments) const;
    // The program to run in place of the one built (a copy in a folder of
    // its own keeps the files it writes beside itself there).
    void setProgram(const QString &path) { m_program = path; }

private:
    QString m_config;
    QString m_work;
    QString m_program = QStringLiteral(QUILLPOST_BINARY_DIR "/quillpost");
};
