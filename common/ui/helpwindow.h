#pragma once
// The program's own help window, where every help entry and F1 open the help
// page: the page in a text browser, opened at the section asked for, with
// back and forward, and a button that offers the page to the desktop's
// browser.

#include <QDialog>

class Platform;
class QTextBrowser;
class QPushButton;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    HelpWindow(Platform &platform, const QUrl &page, QWidget *parent = nullptr);

    QTextBrowser *browser = nullptr;
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdForward = nullptr;
    QPushButton *cmdBrowser = nullptr;
    QPushButton *cmdClose = nullptr;

public slots:
    // The page, at the section shown, in the desktop's browser.
    void cmdBrowser_Click();

private:
    void followLink(const QUrl &link);

    Platform &m_platform;
};
