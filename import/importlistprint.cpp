#include "importlistprint.h"

#include "addresslistprint.h"
#include "csvimport.h"

namespace {

// The names take more room here than in the address book's list.
constexpr int kNameColumnBytes = 60;

} // namespace

bool printImportFile(PrintJob &job, const QString &path)
{
    AddressListPages::Style style;
    style.nameColumnBytes = kNameColumnBytes;
    style.portrait = false;
    style.framedPageNumber = false;
    style.footer.clear();
    AddressListPages pages(job, style);

    ImportRecordReader reader;
    if (!reader.open(path))
        return false;
    ImportRow row;
    while (!reader.atEnd()) {
        if (!reader.next(&row))
            return false;
        if (isImportableAddress(row.address))
            pages.print({row.name1, row.name2, row.address});
    }
    pages.finish();
    return true;
}
