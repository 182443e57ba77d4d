// The printed address list, recorded through the seam and printed for real
// to a PDF file through QPrinter.

#include "addresslistprint.h"
#include "qtprintjob.h"
#include "testutil.h"
#include "textcodec.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString kWideSpace(QChar(0x3000));

QList<AddressListRow> sampleRows(int n)
{
    QList<AddressListRow> rows;
    for (int i = 1; i <= n; ++i) {
        AddressListRow r;
        // Full-width, half-width katakana and ASCII names of varying length.
        r.name1 = (i % 3 == 0)   ? QStringLiteral("ﾔﾏﾀﾞ ﾀﾛｳ%1").arg(i)
                  : (i % 3 == 1) ? QStringLiteral("山田太郎%1").arg(i)
                                 : QStringLiteral("Suzuki Hanako %1").arg(i);
        r.name2 = (i % 2 == 0) ? QStringLiteral("株式会社　山田商店") : QString();
        r.address = QStringLiteral("user%1@example.jp").arg(i, 2, 10, QLatin1Char('0'));
        rows << r;
    }
    return rows;
}

QStringList record(const QList<AddressListRow> &rows)
{
    QStringList ops;
    FakePrintJob job(&ops);
    printAddressList(job, rows);
    return ops;
}

// The operations of one page: from its header's size:10 to the footer line.
QList<QStringList> pages(const QStringList &ops)
{
    QList<QStringList> out;
    QStringList current;
    for (const QString &op : ops) {
        if (op == QLatin1String("newpage") || op == QLatin1String("enddoc")) {
            out << current;
            current.clear();
        } else {
            current << op;
        }
    }
    return out;
}

QStringList linesOf(const QStringList &ops)
{
    QStringList out;
    for (const QString &op : ops)
        if (op.startsWith(QLatin1String("line:")))
            out << op.mid(5);
    return out;
}

QString pageHeader(int page)
{
    return QString(96, QLatin1Char(' ')) + QStringLiteral("Page  %1 ").arg(page);
}

QString columnHeader()
{
    return QString(5, QChar(0x3000)) + QStringLiteral("おなまえ") + QString(9, QChar(0x3000)) + QStringLiteral("     ")
           + QString(8, QChar(0x3000)) + QStringLiteral("メールアドレス") + QString(11, QChar(0x3000))
           + QString(11, QLatin1Char(' ')) + QString(12, QChar(0x3000));
}

// The byte column where the address starts on an addressee's first line.
int addressColumn(const QString &line, const QString &address)
{
    const qsizetype at = line.indexOf(address);
    return at < 0 ? -1 : LenMbcs(line.left(at));
}

// Words of a PDF as pdftotext -bbox reports them, page by page.
struct PdfWord {
    QString text;
    double xMin = 0, yMin = 0, xMax = 0;
};

QList<QList<PdfWord>> pdfWords(const QString &html)
{
    QList<QList<PdfWord>> pages;
    static const QRegularExpression re(
        QStringLiteral("<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            pages.append(QList<PdfWord>());
            continue;
        }
        if (pages.isEmpty())
            continue;
        pages.last().append(
            {m.captured(4), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble()});
    }
    return pages;
}

PdfWord findWord(const QList<PdfWord> &words, const QString &text)
{
    for (const PdfWord &w : words)
        if (w.text == text)
            return w;
    return {};
}

} // namespace

class TestAddressListPrint : public QObject {
    Q_OBJECT
private slots:
    void twentyRowsFillOnePage();
    void twentyOneRowsFillTheLastPage();
    void nameColumnsAreFortyFourBytes();
    void anEmptyListPrintsNothing();
    void japaneseFixedFontIsFixedPitch();
    void printsToPdfThroughQPrinter();
    void lineJobOnQPrinter();
};

void TestAddressListPrint::twentyRowsFillOnePage()
{
    const QList<AddressListRow> rows = sampleRows(20);
    const QStringList ops = record(rows);
    QCOMPARE(ops.count(QStringLiteral("newpage")), 0);
    QCOMPARE(ops.count(QStringLiteral("enddoc")), 1);
    QCOMPARE(ops.last(), QStringLiteral("enddoc"));

    // Font and portrait first, then the header in size 10.
    const QStringList head = ops.mid(0, 10);
    const QStringList expectedHead = {QStringLiteral("font:ＭＳ 明朝"),
                                      QStringLiteral("orientation:1"),
                                      QStringLiteral("size:10"),
                                      QStringLiteral("line:") + pageHeader(1),
                                      QStringLiteral("line:"),
                                      QStringLiteral("size:10"),
                                      QStringLiteral("line:") + columnHeader(),
                                      QStringLiteral("underline:1"),
                                      QStringLiteral("line:") + QString(57, QChar(0x3000)),
                                      QStringLiteral("underline:0")};
    QCOMPARE(head, expectedHead);

    // 4 header lines, 60 addressee lines, 12 empty lines and the footer.
    const QStringList lines = linesOf(ops);
    QCOMPARE(lines.size(), 77);
    for (int i = 0; i < 20; ++i) {
        const QString first = lines.at(4 + 3 * i);
        QVERIFY2(first.endsWith(rows[i].address), qPrintable(first));
        QCOMPARE(addressColumn(first, rows[i].address), 48);
        // The second name line is filled to the same 48 bytes.
        QVERIFY(lines.at(5 + 3 * i).startsWith(kWideSpace + kWideSpace + rows[i].name2));
        QCOMPARE(LenMbcs(lines.at(5 + 3 * i)), 48);
        QCOMPARE(lines.at(6 + 3 * i), QString());
    }
    // No filler: the 12 footer blanks follow the last addressee directly.
    const qsizetype footerSize = ops.lastIndexOf(QStringLiteral("size:8"));
    const qsizetype lastAddressee = ops.lastIndexOf(QStringLiteral("underline:0"));
    QCOMPARE(ops.mid(lastAddressee + 1, footerSize - lastAddressee - 1), QStringList(12, QStringLiteral("line:")));
    QCOMPARE(ops.at(footerSize + 1), QStringLiteral("line:") + QString(26, QLatin1Char(' ')) + addressListFooter());
    // Underline is switched off after each addressee.
    QCOMPARE(ops.count(QStringLiteral("underline:0")), 1 + 20);
    QCOMPARE(ops.count(QStringLiteral("underline:1")), 1);
}

void TestAddressListPrint::twentyOneRowsFillTheLastPage()
{
    const QList<AddressListRow> rows = sampleRows(21);
    const QStringList ops = record(rows);
    QCOMPARE(ops.count(QStringLiteral("newpage")), 1);
    const QList<QStringList> pp = pages(ops);
    QCOMPARE(pp.size(), 2);

    // Page 1 is full and ends with its footer before the new page.
    const QStringList one = linesOf(pp[0]);
    QCOMPARE(one.size(), 77);
    QCOMPARE(one.first(), pageHeader(1));
    QCOMPARE(pp[0].at(pp[0].size() - 2), QStringLiteral("size:8"));

    // Page 2: header, one addressee, 57 filler lines, then the footer's 12.
    const QStringList two = linesOf(pp[1]);
    QCOMPARE(two.size(), 77);
    QCOMPARE(pp[1].first(), QStringLiteral("size:10"));
    QCOMPARE(two.at(0), pageHeader(2));
    QCOMPARE(two.at(2), columnHeader());
    QCOMPARE(addressColumn(two.at(4), rows[20].address), 48);
    QCOMPARE(two.mid(6, 1 + 57 + 12), QStringList(70, QString()));
    QCOMPARE(two.last(), QString(26, QLatin1Char(' ')) + addressListFooter());
    // The footer is the only line in size 8.
    QCOMPARE(pp[1].count(QStringLiteral("size:8")), 1);
}

void TestAddressListPrint::nameColumnsAreFortyFourBytes()
{
    const QString exact44 = QString(44, QLatin1Char('n'));
    QCOMPARE(addressListNameColumn(exact44), exact44);
    const QString tenWide = QStringLiteral("山田太郎一二三四五六");
    QCOMPARE(addressListNameColumn(tenWide), tenWide + QString(24, QLatin1Char(' ')));
    QCOMPARE(addressListNameColumn(QStringLiteral("ﾔﾏﾀﾞ")), QStringLiteral("ﾔﾏﾀﾞ") + QString(40, QLatin1Char(' ')));
    QCOMPARE(addressListNameColumn(QString()), QString(44, QLatin1Char(' ')));
    // Longer names are cut at a character boundary: 43 bytes and a full-width
    // character would make 45, so the cut leaves 43 and one blank.
    QCOMPARE(addressListNameColumn(QString(43, QLatin1Char('x')) + QStringLiteral("山")),
             QString(43, QLatin1Char('x')) + QLatin1Char(' '));
    const QString fifty = QString(50, QChar(0x5C71)); // 100 bytes, as the import allows
    QCOMPARE(addressListNameColumn(fifty), QString(22, QChar(0x5C71)));

    QList<AddressListRow> rows = {
        {exact44, QString(), QStringLiteral("a@example.jp")},
        {tenWide, tenWide, QStringLiteral("b@example.jp")},
        {fifty, fifty, QStringLiteral("c@example.jp")},
        {QString(), QString(), QStringLiteral("d@example.jp")},
    };
    const QStringList lines = linesOf(record(rows));
    // The address follows a 44-byte name directly.
    QCOMPARE(lines.at(4), QStringLiteral("　　") + exact44 + QStringLiteral("a@example.jp"));
    QCOMPARE(lines.at(7),
             QStringLiteral("　　") + tenWide + QString(24, QLatin1Char(' ')) + QStringLiteral("b@example.jp"));
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(addressColumn(lines.at(4 + 3 * i), rows[i].address), 48);
    // The long name was printed (cut), and the rest of the list followed.
    QCOMPARE(lines.size(), 77);
}

void TestAddressListPrint::anEmptyListPrintsNothing()
{
    QVERIFY(record({}).isEmpty());
}

void TestAddressListPrint::japaneseFixedFontIsFixedPitch()
{
    const QFont f = japaneseFixedFont(QStringLiteral("ＭＳ 明朝"), 10);
    QCOMPARE(f.pointSizeF(), 10.0);
    const QFontMetricsF fm(f);
    // Half-width one column, full-width two: the list's columns rely on it.
    QCOMPARE(fm.horizontalAdvance(QStringLiteral("山")), 2 * fm.horizontalAdvance(QStringLiteral("a")));
    QCOMPARE(fm.horizontalAdvance(QStringLiteral("ﾔ")), fm.horizontalAdvance(QStringLiteral("W")));
    QCOMPARE(fm.horizontalAdvance(QStringLiteral("　")), fm.horizontalAdvance(QStringLiteral("ab")));
}

void TestAddressListPrint::printsToPdfThroughQPrinter()
{
    TestWorld w;
    const QString pdf = w.path(QStringLiteral("list.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    // The list asks for portrait whatever was chosen before.
    printer.setPageOrientation(QPageLayout::Landscape);
    const QList<AddressListRow> rows = sampleRows(21);
    {
        QtPrintJob job(&printer);
        printAddressList(job, rows);
        QVERIFY(job.ok());
        QCOMPARE(job.pageCount(), 2);
        QVERIFY(job.currentFont().family().contains(QStringLiteral("Mincho"), Qt::CaseInsensitive)
                || job.currentFont().family().contains(QStringLiteral("明朝")));
    }
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QByteArray bytes = readBytes(pdf);
    QVERIFY(bytes.startsWith("%PDF"));
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page[^s]"));
    QCOMPARE(QString::fromLatin1(bytes).count(pageObject), 2);

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed words back");
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    const QList<QList<PdfWord>> words = pdfWords(QString::fromUtf8(p.readAllStandardOutput()));
    QCOMPARE(words.size(), 2);

    // The width of one half-width column, from "Page" (four of them).
    const PdfWord page1 = findWord(words[0], QStringLiteral("Page"));
    QVERIFY(page1.xMax > page1.xMin);
    const double column = (page1.xMax - page1.xMin) / 4;
    const double left = page1.xMin - 96 * column; // the printable area's edge
    QVERIFY(findWord(words[1], QStringLiteral("2")).text == QStringLiteral("2"));

    // Every address is printed once, on its name's line, 48 columns in.
    for (int i = 0; i < rows.size(); ++i) {
        const auto &onPage = words[i < 20 ? 0 : 1];
        const PdfWord addr = findWord(onPage, rows[i].address);
        QVERIFY2(!addr.text.isEmpty(), qPrintable(rows[i].address));
        QVERIFY2(qAbs((addr.xMin - left) / column - 48) < 0.05,
                 qPrintable(QStringLiteral("%1 at %2").arg(rows[i].address).arg(addr.xMin)));
        const QString nameWord = rows[i].name1.section(QLatin1Char(' '), 0, 0);
        bool nameOnTheLine = false;
        for (const PdfWord &w : onPage)
            if (w.text == nameWord && qAbs(w.yMin - addr.yMin) < 0.5)
                nameOnTheLine = qAbs((w.xMin - left) / column - 4) < 0.05;
        QVERIFY2(nameOnTheLine, qPrintable(rows[i].address));
    }
    // The footer stands at the same height on the full and the short page.
    const QString footerWord = addressListFooter().section(QChar(0x3000), 0, 0);
    const PdfWord foot1 = findWord(words[0], footerWord);
    const PdfWord foot2 = findWord(words[1], footerWord);
    QVERIFY(foot1.yMin > 700);
    QVERIFY(qAbs(foot1.yMin - foot2.yMin) < 0.5);
}

void TestAddressListPrint::lineJobOnQPrinter()
{
    TestWorld w;
    const QString nothing = w.path(QStringLiteral("nothing.pdf"));
    {
        // Ended before any line: nothing is sent to the printer.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(nothing);
        QtPrintJob job(&printer);
        job.setFontName(QStringLiteral("ＭＳ 明朝"));
        job.endDoc();
        QCOMPARE(job.pageCount(), 0);
    }
    QVERIFY(!QFile::exists(nothing));

    // Landscape as asked; a text longer than a page goes on by itself to the
    // next; an explicit new page starts one more; orientation is fixed once
    // printing has begun.
    const QString pdf = w.path(QStringLiteral("lines.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QtPrintJob job(&printer);
    job.setOrientation(2);
    job.setFontSize(10);
    // A4 landscape holds about 55 lines of 10 points.
    for (int i = 0; i < 80; ++i)
        job.printLine(QStringLiteral("行 %1").arg(i));
    job.setOrientation(1);
    QCOMPARE(job.pageCount(), 2);
    job.newPage();
    job.setUnderline(true);
    job.printLine(QStringLiteral("下線"));
    QVERIFY(job.currentFont().underline());
    job.endDoc();
    QVERIFY(job.ok());
    QCOMPARE(job.pageCount(), 3);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page[^s]"));
    QCOMPARE(QString::fromLatin1(readBytes(pdf)).count(pageObject), 3);
}

QTEST_MAIN(TestAddressListPrint)
#include "tst_addresslistprint.moc"
