#pragma once
// The printed address lists: the address book's rows and the usable rows of
// an import file share one page layout in a fixed-pitch Japanese font. Every
// page opens with its number, the column heading and a rule; each addressee
// takes three lines, the names filled with blanks to a fixed column.

#include <QList>
#include <QString>

class PrintJob;

struct AddressListRow {
    QString name1;   // 宛先1 (null prints as empty)
    QString name2;   // 宛先2
    QString address; // メールアドレス
};

// The fixed line at the foot of every page of the address book's list.
QString addressListFooter();

// One list on a print job, fed an addressee at a time. Dropping it before
// finish() leaves the job unended, so a list that fails half-way is not sent.
class AddressListPages {
public:
    // The address book's list by default.
    struct Style {
        int nameColumnBytes = 44;
        // Sets the paper to portrait, which twenty addressees a page are laid
        // out for. Otherwise the printer's orientation stands, and a page
        // that is not portrait holds fifteen.
        bool portrait = true;
        // "Page  1 ": the number framed as a printed number is, by a sign
        // blank and a blank; otherwise "Page 1".
        bool framedPageNumber = true;
        // Closes every page after twelve empty lines, in size 8; the last
        // page is filled up so that it stands where it does on full pages.
        // Empty: no footer.
        QString footer = addressListFooter();
    };

    // Sets the font, and the orientation for a portrait style.
    AddressListPages(PrintJob &job, const Style &style);

    void print(const AddressListRow &row);
    // Closes the last page and ends the document, which sends it.
    void finish();

private:
    void printHeader();
    void printFooter();

    PrintJob &m_job;
    Style m_style;
    int m_perPage;
    int m_page = 0;
    int m_onPage = 0;
};

// Prints the address book's rows and ends the document. An empty list prints
// nothing. The caller shows the print dialog and the busy pointer.
void printAddressList(PrintJob &job, const QList<AddressListRow> &rows);

// A name filled with blanks to the bytes of its column (44 in the address
// book's list); a longer name is cut at a character boundary first so the
// address column stays aligned.
QString addressListNameColumn(const QString &name, int bytes = 44);
