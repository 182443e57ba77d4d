#pragma once
// What the commands that work on one account (check, login, inbox) share:
// the command word alone, --account N and --ca-file PEM around their own
// options, --help, and the profile as stored.

#include "account.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <functional>

class SettingsStore;

class AccountCommand {
public:
    // Options in the help: --account, then the command's own, then --ca-file.
    AccountCommand(const QString &command, const QString &description, const QList<QCommandLineOption> &own,
                   const QString &caFileDescription);

    // Parses the arguments and checks --account and --ca-file (caFileCheck
    // gives "" or what is wrong with the file). False when the command ends
    // here: after --help (status 0) or an error on stderr (status 1).
    bool parse(const QStringList &arguments, int *status, const std::function<QString(const QString &)> &caFileCheck);

    const QCommandLineParser &parser() const { return m_parser; }
    int profile() const { return m_profile; }
    // "" when --ca-file was not given.
    QString caFile() const;

    // "quillpost COMMAND: what" on stderr; the status.
    int fail(const QString &what, int status = 1) const;
    // The profile as stored into *account; false (with the message on
    // stderr) when its server is not set up.
    bool loadConfigured(const SettingsStore &settings, AccountRecord *account) const;

private:
    QString m_command;
    QCommandLineParser m_parser;
    QCommandLineOption m_account;
    QCommandLineOption m_caFile;
    int m_profile = -1;
};
