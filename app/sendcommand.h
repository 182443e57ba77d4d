#pragma once
// The program without its window, for scripts and scheduled jobs:
//   quillpost send --account N --list FILE --subject TEXT --body FILE
//                  [--attach FILE]... [--name-block] [--no-honorific]
//                  [--log FILE] [--ca-file PEM] [--dry-run DIR] [--resume]
// It runs the window's send run on the user's account settings and prints
// the window's closing text. Exit status: 0 the run completed (refused
// entries included), 2 it stopped on the connection or the login, 1 any
// other error (a bad argument, an unreadable file), with one line naming it.

#include <QStringList>

// True when the arguments ask for a command (send, check; see
// checkcommand.h) rather than the window.
bool isCommandLine(const QStringList &arguments);
// Runs the command the arguments name (a QCoreApplication must exist).
int runCommandLine(const QStringList &arguments);
