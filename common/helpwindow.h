#pragma once
// The program's own help window, for a desktop that has no program to open
// the help page with: the page in a text browser, with back and forward,
// opened at the section asked for.

#include <QDialog>

class QTextBrowser;
class QPushButton;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    HelpWindow(const QUrl &page, QWidget *parent = nullptr);

    QTextBrowser *browser = nullptr;
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdForward = nullptr;
    QPushButton *cmdClose = nullptr;
};
