#pragma once
// The connection test without a window:
//   quillpost check --account N [--ca-file PEM]
// It connects to the account's servers as the window's test does (POP3
// first where the account asks for it), prints each step with what it saw,
// and remembers the SMTP server's SIZE limit with the account. Exit status
// as send's: 0 every step passed, 2 it stopped on the connection or the
// login, 1 any other error (a bad argument, an account never set up).

#include <QStringList>

int runCheckCommand(const QStringList &arguments);
