#pragma once
// The printed address list: 20 addressees a page in a fixed-pitch Japanese
// font, name columns filled to 44 bytes, page header, rule and footer.

#include <QList>
#include <QString>

class PrintJob;

struct AddressListRow {
    QString name1;   // 宛先1 (null prints as empty)
    QString name2;   // 宛先2
    QString address; // メールアドレス
};

// Prints rows on job and ends the document. An empty list prints nothing.
// The caller shows the print dialog and the busy pointer.
void printAddressList(PrintJob &job, const QList<AddressListRow> &rows);

// A name filled with blanks to the 44 bytes of its column; a longer name is
// cut at a character boundary first so the address column stays aligned.
QString addressListNameColumn(const QString &name);

// The fixed line at the foot of every page.
QString addressListFooter();
