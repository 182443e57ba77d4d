#pragma once
#include "platform.h"

#include <QFont>
#include <QPainter>

class QPrinter;

// A line printer on QPainter: each printLine draws one line in the current
// font at the left margin and moves down by the font's line spacing.
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

private:
    bool ensureStarted();
    void applyFont();

    QPrinter *m_printer;
    QPainter m_painter;
    QFont m_font;
    bool m_started = false;
    bool m_ended = false;
    double m_y = 0;
};

// "ＭＳ 明朝" asked for by name, falling back to a fixed-pitch Japanese font so
// that half-width characters take one column and full-width two.
QFont japaneseFixedFont(const QString &requestedName, double points);
