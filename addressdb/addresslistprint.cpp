#include "addresslistprint.h"

#include "apptitle.h"
#include "printjob.h"
#include "textcodec.h"

namespace {

constexpr int kAddresseesPerPage = 20;
// A page that is not portrait has room for fewer.
constexpr int kAddresseesPerOtherPage = 15;
constexpr int kLinesPerAddressee = 3;
constexpr int kFooterGap = 12;

const QChar kIdeographicSpace(0x3000);

QString wide(int n)
{
    return QString(n, kIdeographicSpace);
}
QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

} // namespace

QString addressListFooter()
{
    return appTitle() + QStringLiteral("　宛先一覧");
}

QString addressListNameColumn(const QString &name, int bytes)
{
    const QString fitted = leftMbcs(name, bytes);
    return fitted + blanks(bytes - LenMbcs(fitted));
}

AddressListPages::AddressListPages(PrintJob &job, const Style &style) : m_job(job), m_style(style)
{
    m_job.setFontName(QStringLiteral("ＭＳ 明朝"));
    if (m_style.portrait)
        m_job.setOrientation(1);
    m_perPage = m_style.portrait || m_job.orientation() == 1 ? kAddresseesPerPage : kAddresseesPerOtherPage;
}

void AddressListPages::printHeader()
{
    // A number printed after text is framed by a sign blank and a blank.
    const QString number = m_style.framedPageNumber ? QLatin1Char(' ') + QString::number(m_page) + QLatin1Char(' ')
                                                    : QString::number(m_page);
    m_job.printLine(blanks(96) + QStringLiteral("Page ") + number);
    m_job.printLine(QString());
    m_job.setFontSize(10);
    m_job.printLine(wide(5) + QStringLiteral("おなまえ") + wide(9) + blanks(5) + wide(8)
                    + QStringLiteral("メールアドレス") + wide(11) + blanks(11) + wide(12));
    m_job.setUnderline(true);
    m_job.printLine(wide(57));
    m_job.setUnderline(false);
}

void AddressListPages::printFooter()
{
    for (int i = 0; i < kFooterGap; ++i)
        m_job.printLine(QString());
    m_job.setFontSize(8);
    m_job.printLine(blanks(26) + m_style.footer);
}

void AddressListPages::print(const AddressListRow &row)
{
    if (m_onPage == 0) {
        if (m_page != 0) {
            if (!m_style.footer.isEmpty())
                printFooter();
            m_job.newPage();
        }
        m_job.setFontSize(10);
        ++m_page;
        printHeader();
    }
    const int bytes = m_style.nameColumnBytes;
    m_job.printLine(wide(2) + addressListNameColumn(row.name1, bytes) + row.address);
    m_job.printLine(wide(2) + addressListNameColumn(row.name2, bytes));
    m_job.printLine(QString());
    m_job.setUnderline(false);
    if (++m_onPage >= m_perPage)
        m_onPage = 0;
}

void AddressListPages::finish()
{
    if (!m_style.footer.isEmpty() && m_page != 0) {
        // Blank places keep the last page's footer where full pages have it.
        if (m_onPage != 0)
            for (int i = 0; i < (m_perPage - m_onPage) * kLinesPerAddressee; ++i)
                m_job.printLine(QString());
        printFooter();
    }
    m_job.endDoc();
}

void printAddressList(PrintJob &job, const QList<AddressListRow> &rows)
{
    if (rows.isEmpty())
        return;
    AddressListPages pages(job, AddressListPages::Style());
    for (const AddressListRow &row : rows)
        pages.print(row);
    pages.finish();
}
