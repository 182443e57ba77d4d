#pragma once
// What a failure of the transport means to the user: one sentence in
// Japanese for the line under the transport's own text, which stays as the
// transport wrote it.

#include <QString>

// The hint for a transport's failure text ("Cant connect Server (...)",
// "AUTH LOGIN failed (...)", "Connection to the server was lost (...)"),
// or "" when no hint fits.
QString connectionFailureHint(const QString &transportText);
