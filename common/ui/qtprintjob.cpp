#include "qtprintjob.h"
#include "textcodec.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPrinter>
#include <QTextOption>

namespace {

// Tabs stop every eight half-width columns, as on a text screen; in a
// fixed-pitch font a full-width character takes two of them.
QString expandTabs(const QString &text)
{
    if (!text.contains(QLatin1Char('\t')))
        return text;
    QString out;
    int column = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\t')) {
            const int fill = 8 - column % 8;
            out += QString(fill, QLatin1Char(' '));
            column += fill;
        } else {
            out += c;
            if (!c.isLowSurrogate())
                column += LenMbcs(QString(c));
        }
    }
    return out;
}

} // namespace

QFont japaneseFixedFont(const QString &requestedName, double points)
{
    const QStringList families = QFontDatabase::families();
    QStringList candidates;
    if (!requestedName.isEmpty())
        candidates << requestedName;
    if (requestedName == QStringLiteral("ＭＳ 明朝"))
        candidates << QStringLiteral("MS Mincho");
    // Fixed-pitch Japanese faces: half-width exactly half of full-width.
    candidates << QStringLiteral("IPAMincho") << QStringLiteral("IPA明朝") << QStringLiteral("IPAGothic")
               << QStringLiteral("IPAゴシック") << QStringLiteral("Noto Sans Mono CJK JP");
    QString family;
    for (const QString &candidate : std::as_const(candidates)) {
        if (families.contains(candidate, Qt::CaseInsensitive)) {
            family = candidate;
            break;
        }
    }
    QFont f(family.isEmpty() ? requestedName : family);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSizeF(points > 0 ? points : 10);
    return f;
}

QtPrintJob::QtPrintJob(QPrinter *printer) : m_printer(printer)
{
    m_font = japaneseFixedFont(QString(), 10);
}

QtPrintJob::~QtPrintJob()
{
    // An unfinished job is not sent half-printed.
    if (m_started && !m_ended && m_painter.isActive()) {
        m_printer->abort();
        m_painter.end();
    }
}

void QtPrintJob::setFontName(const QString &name)
{
    const double size = m_font.pointSizeF();
    const bool underline = m_font.underline();
    m_font = japaneseFixedFont(name, size > 0 ? size : 10);
    m_font.setUnderline(underline);
    applyFont();
}

void QtPrintJob::setFontSize(double points)
{
    if (points <= 0)
        return;
    m_font.setPointSizeF(points);
    applyFont();
}

void QtPrintJob::setUnderline(bool on)
{
    m_font.setUnderline(on);
    applyFont();
}

void QtPrintJob::setOrientation(int orientation)
{
    // The page size is fixed once the first page has begun.
    if (m_started || (orientation != 1 && orientation != 2))
        return;
    m_printer->setPageOrientation(orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
}

int QtPrintJob::orientation() const
{
    return m_printer->pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
}

bool QtPrintJob::ensureStarted()
{
    if (m_ended || m_failed)
        return false;
    if (m_started)
        return true;
    m_started = true;
    if (!m_painter.begin(m_printer)) {
        m_failed = true;
        return false;
    }
    m_pages = 1;
    m_y = 0;
    applyFont();
    return true;
}

void QtPrintJob::applyFont()
{
    if (m_started && m_painter.isActive())
        m_painter.setFont(m_font);
}

bool QtPrintJob::startNewPage()
{
    if (!m_printer->newPage()) {
        m_failed = true;
        return false;
    }
    ++m_pages;
    m_y = 0;
    return true;
}

double QtPrintJob::lineHeight() const
{
    // One em of the font on the printer: lines stand as close as on the
    // printers the layouts were made for, so a 77-line list page fits A4.
    return m_font.pointSizeF() * m_printer->resolution() / 72.0;
}

void QtPrintJob::printLine(const QString &text)
{
    if (!ensureStarted())
        return;
    const double pitch = lineHeight();
    const double pageHeight = m_printer->pageLayout().paintRectPixels(m_printer->resolution()).height();
    if (m_y > 0 && m_y + pitch > pageHeight && !startNewPage())
        return;
    if (!text.isEmpty()) {
        // Metrics on the printer itself: its resolution, not the screen's.
        const QFontMetricsF fm(m_font, m_printer);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::NoWrap);
        // Blanks count: a rule of spaces is underlined across its length.
        option.setFlags(QTextOption::IncludeTrailingSpaces);
        const QString line = expandTabs(text);
        const QRectF box(0, m_y, fm.horizontalAdvance(line, option) + fm.maxWidth(), fm.height());
        m_painter.drawText(box, line, option);
    }
    m_y += pitch;
}

void QtPrintJob::newPage()
{
    if (!ensureStarted())
        return;
    startNewPage();
}

void QtPrintJob::endDoc()
{
    if (m_ended)
        return;
    m_ended = true;
    // Nothing drawn: nothing to send.
    if (m_started && m_painter.isActive())
        m_painter.end();
}
