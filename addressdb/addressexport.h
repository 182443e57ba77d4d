#pragma once
// Writing recipients to an address file that the import reads back: one
// line per row with three fields (name line 1, name line 2, address),
// separated by commas, CR LF at the end of each line.
//
// A field is put between double quotes when it holds a comma, CR or LF, or
// begins with a blank (the reader skips blanks before a field). The reader
// ends a quoted field at the next double quote and knows no escape, so a
// double quote inside a field is written as the full-width "＂" (U+FF02),
// as the sent-mail log does; every other character comes back unchanged.

#include "recipientrows.h"

#include <QString>
#include <functional>
#include <optional>

class AddressRowModel;

enum class ExportEncoding {
    Cp932,       // code page 932 bytes; characters it can't hold become '?'
    Utf8WithBom, // every character; the import recognises the mark
};

// A source calls visit for each row to write, in order, and returns false
// with an error text when the rows can't be read.
using RecipientVisitor = std::function<void(const RecipientFields &)>;
using RecipientSource = std::function<bool(const RecipientVisitor &visit, QString *error)>;

// The rows of the model's last search as the grid shows them, a NULL text
// as empty; rows that have left the file since are skipped. The model and
// its database must outlive the source.
RecipientSource recipientsOf(const AddressRowModel &model);
RecipientSource recipientsOf(const RecipientRows &rows);

// One line of the file, CR LF included.
QString exportLine(const RecipientFields &row);

// Whether code page 932 holds every character of the file the rows make.
// unwritable receives those it can't write back unchanged, each once. When
// the rows can't be read: nullopt and error.
std::optional<bool> exportFitsCp932(const RecipientSource &rows, QString *unwritable = nullptr,
                                    QString *error = nullptr);

// Writes the file, readable by the user only, through a temporary file that
// takes the place of path at the end: on any failure nothing new is left
// behind, a file already at path stays as it was, and error says why (a full
// disk named as such).
bool exportRecipients(const QString &path, const RecipientSource &rows, ExportEncoding encoding,
                      QString *error = nullptr);
