#include "helpwindow.h"

#include "apptitle.h"
#include "platform.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(Platform &platform, const QUrl &page, QWidget *parent) : QDialog(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quillpost ヘルプ"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(880, 700);

    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("browser"));
    // Links are followed here, so that those leaving the page go through
    // the platform like every other request to the desktop.
    browser->setOpenLinks(false);
    cmdBack = new QPushButton(QStringLiteral("戻る(&B)"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward = new QPushButton(QStringLiteral("進む(&F)"), this);
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    cmdBrowser = new QPushButton(QStringLiteral("ブラウザで開く"), this);
    cmdBrowser->setObjectName(QStringLiteral("cmdBrowser"));
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addStretch(1);
    buttons->addWidget(cmdBrowser);
    buttons->addWidget(cmdClose);
    auto *root = new QVBoxLayout(this);
    root->addWidget(browser, 1);
    root->addLayout(buttons);

    connect(cmdBack, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    connect(cmdBrowser, &QPushButton::clicked, this, &HelpWindow::cmdBrowser_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    // The page's pictures are found beside it. The browser scrolls to the
    // section when it is first shown, at its final size.
    browser->setSearchPaths({page.adjusted(QUrl::RemoveFilename | QUrl::RemoveFragment).toLocalFile()});
    browser->setSource(page);
}

void HelpWindow::followLink(const QUrl &link)
{
    const QUrl target = browser->source().resolved(link);
    if (target.isLocalFile())
        browser->setSource(target);
    else
        m_platform.shellOpen(this, target.toString());
}

void HelpWindow::cmdBrowser_Click()
{
    if (!m_platform.shellOpen(this, browser->source().toString()))
        m_platform.messageBox(this, QStringLiteral("このページを開くブラウザが見つかりません。"), appTitle(),
                              MsgIcon::Information, MsgButtons::Ok);
}
