#pragma once
// What the commands without a window write to a terminal.

#include <QByteArray>
#include <QString>
#include <cstdio>

// The text as UTF-8, at once (a script reading the pipe sees it as it comes).
inline void printText(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}
