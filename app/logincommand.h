#pragma once
// Signing an OAuth 2.0 account in without the window:
//   quillpost login --account N [--browser] [--ca-file PEM]
// With the device grant where the provider offers it (the address to visit
// and the code are printed, and it waits), through the browser and a
// loopback redirect otherwise or with --browser. The refresh token is kept
// as the window's sign-in keeps it. Exit status: 0 signed in, 2 the sign-in
// failed or was refused, 1 any other error.

#include <QStringList>

int runLoginCommand(const QStringList &arguments);
