#pragma once
// The seam between windows and the desktop. Windows never call Qt's dialogs,
// the shell, the printer, the busy pointer or the clock directly: they ask a
// Platform. The program uses QtPlatform; tests use a scripted double.

#include "printjob.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

enum class MsgIcon { None, Information, Question, Warning, Critical };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };
// The button Enter presses: the first, or "No" where "Yes" would destroy data.
enum class MsgDefault { First, No };

// A file dialog configured the way the windows describe it. Filters are
// given as (description, pattern) pairs, e.g. {"txt ﾌｧｲﾙ (*.txt)", "*.txt"}.
struct FileDialogSpec {
    QString title;
    QList<QPair<QString, QString>> filters;
    int filterIndex = 1; // 1-based, the preselected filter
    QString fileName;    // preset name
    bool mustExist = false;
    bool multiSelect = false;
    bool overwritePrompt = false; // save dialogs: ask before replacing a file
};

struct FileDialogResult {
    bool cancelled = true;
    QStringList files;   // full paths, in the order chosen
    int filterIndex = 1; // 1-based, the filter chosen
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual MsgAnswer messageBox(QWidget *parent, const QString &text, const QString &title, MsgIcon icon,
                                 MsgButtons buttons, MsgDefault defaultButton = MsgDefault::First) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> inputBox(QWidget *parent, const QString &prompt, const QString &title,
                                            const QString &defaultText = {}) = 0;

    virtual FileDialogResult openFileDialog(QWidget *parent, const FileDialogSpec &spec) = 0;
    virtual FileDialogResult saveFileDialog(QWidget *parent, const FileDialogSpec &spec) = 0;

    // The print dialog; false when cancelled.
    virtual bool printDialog(QWidget *parent, const QString &title) = 0;
    // Printer set-up (choose printer and paper, no printing); false when cancelled.
    virtual bool printerSetupDialog(QWidget *parent, const QString &title) = 0;
    // A job on the printer chosen by the last print or set-up dialog.
    virtual std::unique_ptr<PrintJob> startPrintJob() = 0;

    // Shell "open" of a file, folder or URL with the desktop's program;
    // false when the desktop has none for it.
    virtual bool shellOpen(QWidget *parent, const QString &pathOrUrl) = 0;
    // The help page (a file URL, perhaps with a section) in the program's
    // own help window, which offers it to the desktop's browser in turn.
    virtual void showHelpWindow(QWidget *parent, const QString &pageUrl) = 0;
    virtual bool startProcess(const QString &program, const QStringList &args) = 0;

    // Runs a window modally and returns its result code (QDialog::Accepted...).
    virtual int showModal(QWidget *window) = 0;

    virtual void setBusy(bool busy) = 0;
    virtual QDateTime now() = 0;
    // The folder of the program's own files (log, default database): the
    // executable's folder, or the per-user data folder where that is not
    // writable (see programfolder.h).
    virtual QString programFolder() = 0;
    // The folder that holds the help page beside the program.
    virtual QString helpFolder() = 0;
};

// The help page beside the program at one of its sections ("" for the
// top), as a file URL.
QString helpPageUrl(Platform &platform, const QString &section = {});
// Opens the help page at a section in the program's own help window.
void openHelp(Platform &platform, QWidget *parent, const QString &section = {});

// Sets the busy pointer for a scope; restores it on every exit path.
class BusyPointer {
public:
    explicit BusyPointer(Platform &p) : m_p(p) { m_p.setBusy(true); }
    ~BusyPointer() { release(); }
    void release()
    {
        if (m_on) {
            m_on = false;
            m_p.setBusy(false);
        }
    }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    Platform &m_p;
    bool m_on = true;
};

// Tells the window below a closed modal window that it is active again: its
// Form_Activate slot, if it has one, runs (this is where windows refresh what
// a modal window may have changed). Message boxes do not count as windows.
void notifyReactivated(QWidget *owner);

// The help page beside the program, which every window's help entry opens.
QString helpFilePath(Platform &platform);
