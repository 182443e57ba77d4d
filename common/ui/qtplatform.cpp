#include "qtplatform.h"

#include "apptitle.h"
#include "helpwindow.h"
#include "localclock.h"
#include "programfolder.h"
#include "qtprintjob.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>

bool installJapaneseQtTranslation(QCoreApplication &app)
{
    // Qt's own texts (standard buttons, file and print dialogs) in Japanese,
    // whatever the desktop's language: the program speaks Japanese.
    static QTranslator translator;
    if (!translator.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return app.installTranslator(&translator);
}

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;

MsgAnswer QtPlatform::messageBox(QWidget *parent, const QString &text, const QString &title, MsgIcon icon,
                                 MsgButtons buttons, MsgDefault defaultButton)
{
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? appTitle() : title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    if (defaultButton == MsgDefault::No && box.button(QMessageBox::No))
        box.setDefaultButton(QMessageBox::No);
    // A question must be answered with the mouse restored.
    const bool wasBusy = m_busyDepth > 0;
    if (wasBusy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = box.exec();
    if (wasBusy)
        QApplication::restoreOverrideCursor();
    switch (r) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
}

std::optional<QString> QtPlatform::inputBox(QWidget *parent, const QString &prompt, const QString &title,
                                            const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title.isEmpty() ? appTitle() : title, prompt, QLineEdit::Normal,
                                               defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

static QString qtFilter(const FileDialogSpec &spec, QString *selected, QStringList *entries = nullptr)
{
    QStringList parts;
    for (int i = 0; i < spec.filters.size(); ++i) {
        const auto &f = spec.filters.at(i);
        // Qt reads the patterns from the parentheses; give it the real ones.
        QString label = f.first;
        const qsizetype paren = label.lastIndexOf(QLatin1Char('('));
        if (paren >= 0)
            label = label.left(paren).trimmed();
        const QString entry = label + QStringLiteral(" (")
                              + QString(f.second).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
        parts << entry;
        if (i + 1 == spec.filterIndex)
            *selected = entry;
    }
    if (entries)
        *entries = parts;
    return parts.join(QStringLiteral(";;"));
}

// Runs a configured dialog; the names in the order chosen, or cancelled.
static FileDialogResult runFileDialog(QFileDialog &dlg, const FileDialogSpec &spec)
{
    QString selected;
    QStringList entries;
    dlg.setNameFilter(qtFilter(spec, &selected, &entries));
    if (!selected.isEmpty())
        dlg.selectNameFilter(selected);
    if (!spec.fileName.isEmpty())
        dlg.selectFile(spec.fileName);
    FileDialogResult r;
    if (dlg.exec() != QDialog::Accepted)
        return r;
    r.cancelled = false;
    r.files = dlg.selectedFiles();
    r.filterIndex = static_cast<int>(entries.indexOf(dlg.selectedNameFilter())) + 1;
    return r;
}

FileDialogResult QtPlatform::openFileDialog(QWidget *parent, const FileDialogSpec &spec)
{
    QFileDialog dlg(parent, spec.title);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(spec.multiSelect ? QFileDialog::ExistingFiles
                                     : (spec.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    return runFileDialog(dlg, spec);
}

FileDialogResult QtPlatform::saveFileDialog(QWidget *parent, const FileDialogSpec &spec)
{
    QFileDialog dlg(parent, spec.title);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!spec.overwritePrompt)
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    return runFileDialog(dlg, spec);
}

QPrinter *QtPlatform::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

bool QtPlatform::printDialog(QWidget *parent, const QString &title)
{
    QPrintDialog dlg(printer(), parent);
    dlg.setWindowTitle(title);
    return dlg.exec() == QDialog::Accepted;
}

bool QtPlatform::printerSetupDialog(QWidget *parent, const QString &title)
{
    QPageSetupDialog dlg(printer(), parent);
    dlg.setWindowTitle(title);
    return dlg.exec() == QDialog::Accepted;
}

std::unique_ptr<PrintJob> QtPlatform::startPrintJob()
{
    return std::make_unique<QtPrintJob>(printer());
}

bool QtPlatform::shellOpen(QWidget *, const QString &pathOrUrl)
{
    const QUrl url = QUrl::fromUserInput(pathOrUrl, QString(), QUrl::AssumeLocalFile);
    return QDesktopServices::openUrl(url);
}

void QtPlatform::showHelpWindow(QWidget *parent, const QString &pageUrl)
{
    const QUrl url(pageUrl);
    if (!QFileInfo::exists(url.toLocalFile())) {
        messageBox(parent, QStringLiteral("ヘルプファイルが見つかりません。\n") + url.toLocalFile(), appTitle(),
                   MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    // Beside the window that asked, so a modal window doesn't block it.
    auto *help = new HelpWindow(*this, url, parent ? parent->window() : nullptr);
    help->show();
    help->raise();
}

bool QtPlatform::startProcess(const QString &program, const QStringList &args)
{
    return QProcess::startDetached(program, args);
}

int QtPlatform::showModal(QWidget *window)
{
    auto *dlg = qobject_cast<QDialog *>(window);
    QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    int r = 0;
    if (dlg) {
        r = dlg->exec();
    } else {
        window->setWindowModality(Qt::ApplicationModal);
        window->show();
    }
    if (owner && owner->isVisible()) {
        owner->activateWindow();
        notifyReactivated(owner);
    }
    return r;
}

void QtPlatform::setBusy(bool busy)
{
    if (busy) {
        ++m_busyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0) {
        --m_busyDepth;
        QApplication::restoreOverrideCursor();
    }
}

QDateTime QtPlatform::now()
{
    return localTimeToTheSecond();
}

QString QtPlatform::programFolder()
{
    if (m_programFolder.isEmpty())
        m_programFolder = writableProgramFolder(QCoreApplication::applicationDirPath(),
                                                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_programFolder;
}

QString QtPlatform::helpFolder()
{
    return locateHelpFolder(QCoreApplication::applicationDirPath());
}
