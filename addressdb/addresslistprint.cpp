#include "addresslistprint.h"

#include "apptitle.h"
#include "printjob.h"
#include "textcodec.h"

namespace {

constexpr int kNameColumnBytes = 44;
constexpr int kAddresseesPerPage = 20;
constexpr int kLinesPerAddressee = 3;

const QChar kIdeographicSpace(0x3000);

QString wide(int n)
{
    return QString(n, kIdeographicSpace);
}
QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

void printPageHeader(PrintJob &job, int page)
{
    // A number printed after text is framed by a sign blank and a blank.
    job.printLine(blanks(96) + QStringLiteral("Page ") + QLatin1Char(' ') + QString::number(page) + QLatin1Char(' '));
    job.printLine(QString());
    job.setFontSize(10);
    job.printLine(wide(5) + QStringLiteral("おなまえ") + wide(9) + blanks(5) + wide(8)
                  + QStringLiteral("メールアドレス") + wide(11) + blanks(11) + wide(12));
    job.setUnderline(true);
    job.printLine(wide(57));
    job.setUnderline(false);
}

void printPageFooter(PrintJob &job)
{
    for (int i = 0; i < 12; ++i)
        job.printLine(QString());
    job.setFontSize(8);
    job.printLine(blanks(26) + addressListFooter());
}

} // namespace

QString addressListFooter()
{
    return appTitle() + QStringLiteral("　宛先一覧");
}

QString addressListNameColumn(const QString &name)
{
    if (name.isEmpty())
        return blanks(kNameColumnBytes);
    const QString fitted = LenMbcs(name) > kNameColumnBytes ? leftMbcs(name, kNameColumnBytes) : name;
    return fitted + blanks(kNameColumnBytes - LenMbcs(fitted));
}

void printAddressList(PrintJob &job, const QList<AddressListRow> &rows)
{
    if (rows.isEmpty())
        return;
    job.setFontName(QStringLiteral("ＭＳ 明朝"));
    // The twenty-addressee page is laid out for portrait paper.
    job.setOrientation(1);

    int page = 0;
    int onPage = 0;
    for (const AddressListRow &row : rows) {
        if (onPage == 0) {
            if (page != 0) {
                printPageFooter(job);
                job.newPage();
            }
            job.setFontSize(10);
            ++page;
            printPageHeader(job, page);
        }
        job.printLine(wide(2) + addressListNameColumn(row.name1) + row.address);
        job.printLine(wide(2) + addressListNameColumn(row.name2));
        job.printLine(QString());
        job.setUnderline(false);
        if (++onPage >= kAddresseesPerPage)
            onPage = 0;
    }
    // Blank places keep the last page's footer where full pages have it.
    if (onPage != 0)
        for (int i = 0; i < (kAddresseesPerPage - onPage) * kLinesPerAddressee; ++i)
            job.printLine(QString());
    printPageFooter(job);
    job.endDoc();
}
