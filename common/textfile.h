#pragma once
// Reading a text file whose encoding is not known in advance (a body or an
// address list written by any editor or spreadsheet program):
//  - a UTF-8 byte-order mark: UTF-8, the mark dropped;
//  - otherwise bytes that are valid UTF-8 and hold at least one multi-byte
//    sequence: UTF-8;
//  - otherwise strict code page 932 (plain ASCII reads the same either way);
//  - otherwise an error naming the file.

#include <QByteArray>
#include <QString>
#include <optional>

enum class TextEncoding { Utf8WithBom, Utf8, Cp932 };

std::optional<QString> decodeText(const QByteArray &bytes, TextEncoding *found = nullptr);
// The error text names the file and says what went wrong.
std::optional<QString> readTextFile(const QString &path, QString *error = nullptr,
                                    TextEncoding *found = nullptr);
