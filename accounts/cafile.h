#pragma once
// A file of extra trusted certificates (PEM), as an account or the send
// command names it.

#include <QString>

// "" when the file holds at least one certificate; otherwise what is wrong
// with it, in a sentence for the user (unreadable, no certificate, or a
// private key where a certificate belongs).
QString caFileProblem(const QString &path);
