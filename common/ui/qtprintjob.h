#pragma once
#include "platform.h"

#include <QFont>
#include <QPainter>

class QPrinter;

// A line printer on QPainter: each printLine draws one line in the current
// font at the left edge of the printable area and moves down by one em of
// the font. A line that would run off the foot of the page starts a new
// page first. Nothing reaches the printer until the first line is drawn;
// endDoc sends the document, and a job destroyed without endDoc is aborted.
class QtPrintJob : public PrintJob {
public:
    explicit QtPrintJob(QPrinter *printer);
    ~QtPrintJob() override;

    void setFontName(const QString &name) override;
    void setFontSize(double points) override;
    void setUnderline(bool on) override;
    void setOrientation(int orientation) override;
    int orientation() const override;
    void printLine(const QString &text) override;
    void newPage() override;
    void endDoc() override;

    // False once the printer refused to start or to take a page.
    bool ok() const { return !m_failed; }
    // Pages begun so far (0 before the first line).
    int pageCount() const { return m_pages; }
    QFont currentFont() const { return m_font; }

private:
    bool ensureStarted();
    void applyFont();
    bool startNewPage();
    double lineHeight() const;

    QPrinter *m_printer;
    QPainter m_painter;
    QFont m_font;
    bool m_started = false;
    bool m_ended = false;
    bool m_failed = false;
    int m_pages = 0;
    double m_y = 0;
};

// "ＭＳ 明朝" asked for by name, falling back to a fixed-pitch Japanese font so
// that half-width characters take one column and full-width two. An empty
// name asks for the default Japanese printing font.
QFont japaneseFixedFont(const QString &requestedName, double points);
