#pragma once
// The printed list of an address file: its usable rows, read again from the
// file, on the pages of the address list (addresslistprint.h).

#include <QString>

class PrintJob;

// Prints on the printer's orientation, twenty rows a portrait page and
// fifteen on any other, the names filled to 60 bytes, without a footer; a
// file without a usable row ends an empty document. False when the file
// cannot be read to its end: the job is then left unended, so dropping it
// sends nothing. The caller shows the print dialog and the busy pointer.
bool printImportFile(PrintJob &job, const QString &path);
