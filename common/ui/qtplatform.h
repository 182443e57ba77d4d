#pragma once
#include "platform.h"

#include <memory>

class QCoreApplication;
class QPrinter;

// Loads Qt's Japanese catalogue; false when it is not installed.
bool installJapaneseQtTranslation(QCoreApplication &app);

// The seam on the real desktop: Qt's dialogs, QPrinter, QDesktopServices.
class QtPlatform : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    MsgAnswer messageBox(QWidget *parent, const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons,
                         MsgDefault defaultButton = MsgDefault::First) override;
    std::optional<QString> inputBox(QWidget *parent, const QString &prompt, const QString &title,
                                    const QString &defaultText) override;
    FileDialogResult openFileDialog(QWidget *parent, const FileDialogSpec &spec) override;
    FileDialogResult saveFileDialog(QWidget *parent, const FileDialogSpec &spec) override;
    bool printDialog(QWidget *parent, const QString &title) override;
    bool printerSetupDialog(QWidget *parent, const QString &title) override;
    std::unique_ptr<PrintJob> startPrintJob() override;
    bool shellOpen(QWidget *parent, const QString &pathOrUrl) override;
    void showHelpWindow(QWidget *parent, const QString &pageUrl) override;
    bool startProcess(const QString &program, const QStringList &args) override;
    int showModal(QWidget *window) override;
    void setBusy(bool busy) override;
    QDateTime now() override;
    QString programFolder() override;
    QString helpFolder() override;

    // The printer the dialogs configure (print to PDF included).
    QPrinter *printer();

private:
    std::unique_ptr<QPrinter> m_printer;
    int m_busyDepth = 0;
    QString m_programFolder;
};
