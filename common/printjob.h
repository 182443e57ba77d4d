#pragma once
// A print job as the program drives it: line by line, with a current font.
// The windows get one from the platform seam; the list layouts fill it.

#include <QString>

class PrintJob {
public:
    virtual ~PrintJob() = default;
    virtual void setFontName(const QString &name) = 0;
    virtual void setFontSize(double points) = 0;
    virtual void setUnderline(bool on) = 0;
    virtual void setOrientation(int orientation) = 0; // 1 portrait, 2 landscape
    // The orientation the printer is set to: 1 portrait, 2 landscape.
    virtual int orientation() const { return 1; }
    virtual void printLine(const QString &text) = 0;
    virtual void newPage() = 0;
    virtual void endDoc() = 0;
};
