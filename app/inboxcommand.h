#pragma once
// Reading the account's mailbox without a window:
//   quillpost inbox --account N [--database FILE] [--delete] [--ca-file PEM]
// Bounces and unsubscribe requests suppress their addresses in the address
// file; each is printed with its reason and date, then the counts. Exit
// status as check's: 0 read to the end, 2 the connection or the login
// failed, 1 any other error.

#include <QStringList>

int runInboxCommand(const QStringList &arguments);
