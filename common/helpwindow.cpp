#include "helpwindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(const QUrl &page, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quillpost ヘルプ"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(820, 680);

    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("browser"));
    // Links outside the page go to the desktop, if it can.
    browser->setOpenExternalLinks(true);
    cmdBack = new QPushButton(QStringLiteral("戻る(&B)"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward = new QPushButton(QStringLiteral("進む(&F)"), this);
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto *root = new QVBoxLayout(this);
    root->addWidget(browser, 1);
    root->addLayout(buttons);

    connect(cmdBack, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    // The page's pictures are found beside it.
    browser->setSearchPaths({page.adjusted(QUrl::RemoveFilename | QUrl::RemoveFragment).toLocalFile()});
    browser->setSource(page);
}
