#include "qtprintjob.h"

#include <QFontDatabase>
#include <QPageLayout>
#include <QPrinter>

QFont japaneseFixedFont(const QString &requestedName, double points)
{
    const QStringList families = QFontDatabase::families();
    QString family;
    for (const QString &candidate :
         {requestedName, QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"),
          QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP")}) {
        if (families.contains(candidate)) {
            family = candidate;
            break;
        }
    }
    QFont f(family.isEmpty() ? requestedName : family);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSizeF(points);
    return f;
}

QtPrintJob::QtPrintJob(QPrinter *printer) : m_printer(printer)
{
    m_font = japaneseFixedFont(QString(), 10);
}

QtPrintJob::~QtPrintJob()
{
    if (m_started && !m_ended)
        m_painter.end();
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
    // Only possible before the first line is drawn.
    if (!m_started)
        m_printer->setPageOrientation(orientation == 2 ? QPageLayout::Landscape
                                                       : QPageLayout::Portrait);
}

int QtPrintJob::orientation() const
{
    return m_printer->pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
}

bool QtPrintJob::ensureStarted()
{
    if (m_started)
        return m_painter.isActive();
    m_started = true;
    if (!m_painter.begin(m_printer))
        return false;
    applyFont();
    m_y = 0;
    return true;
}

void QtPrintJob::applyFont()
{
    if (m_started && m_painter.isActive())
        m_painter.setFont(m_font);
}

void QtPrintJob::printLine(const QString &text)
{
    if (!ensureStarted() || m_ended)
        return;
    const QFontMetricsF fm(m_font, m_printer);
    const double pageHeight = m_printer->pageLayout().paintRectPixels(m_printer->resolution()).height();
    if (m_y + fm.height() > pageHeight && m_y > 0) {
        m_printer->newPage();
        m_y = 0;
    }
    m_painter.drawText(QPointF(0, m_y + fm.ascent()), text);
    m_y += fm.lineSpacing();
}

void QtPrintJob::newPage()
{
    if (!ensureStarted() || m_ended)
        return;
    m_printer->newPage();
    m_y = 0;
}

void QtPrintJob::endDoc()
{
    if (!m_started) {
        // Nothing was drawn: nothing to send.
        m_ended = true;
        return;
    }
    if (!m_ended && m_painter.isActive())
        m_painter.end();
    m_ended = true;
}
