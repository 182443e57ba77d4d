#pragma once
// The scripted double of the platform seam. Every call is recorded in order;
// answers are queued by the test and taken in order of their kind. A call with
// no queued answer of its kind is recorded as unexpected and answers "cancel";
// a test that leaves answers unused fails in verify().

#include "platform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <variant>

struct PlatformCall {
    QString kind; // "message", "input", "open", "save", "print", "printSetup",
                  // "printJob", "shell", "help", "process", "modal"
    QString title;
    QString text; // message text, prompt, opened path, window objectName...
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    MsgDefault defaultButton = MsgDefault::First;
    FileDialogSpec file; // for open/save
};

// What a fake print job was told, one entry per operation:
// "font:NAME", "size:10", "underline:1", "orientation:1", "line:TEXT",
// "newpage", "enddoc".
class FakePrintJob : public PrintJob {
public:
    explicit FakePrintJob(QStringList *ops, int orientation = 1) : m_ops(ops), m_orientation(orientation) {}
    void setFontName(const QString &name) override { m_ops->append(QStringLiteral("font:") + name); }
    void setFontSize(double p) override { m_ops->append(QStringLiteral("size:") + QString::number(p)); }
    void setUnderline(bool on) override
    {
        m_ops->append(QStringLiteral("underline:") + (on ? QStringLiteral("1") : QStringLiteral("0")));
    }
    void setOrientation(int o) override
    {
        m_orientation = o;
        m_ops->append(QStringLiteral("orientation:") + QString::number(o));
    }
    int orientation() const override { return m_orientation; }
    void printLine(const QString &t) override { m_ops->append(QStringLiteral("line:") + t); }
    void newPage() override { m_ops->append(QStringLiteral("newpage")); }
    void endDoc() override { m_ops->append(QStringLiteral("enddoc")); }

private:
    QStringList *m_ops;
    int m_orientation;
};

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // --- scripting
    void answerMessage(MsgAnswer a);
    void answerInput(std::optional<QString> text);
    void answerOpen(QStringList files); // empty list = cancelled
    void answerSave(QString file);      // empty = cancelled
    void answerPrintDialog(bool ok);
    void answerPrinterSetup(bool ok);
    // The action runs on the modal window (fill fields, press OK...). The
    // window's objectName must match expectedName.
    void answerModal(const QString &expectedName, std::function<void(QWidget *)> action = {});

    // --- what happened
    QList<PlatformCall> calls;
    QStringList unexpected;
    QStringList printed;      // operations of every print job, in order
    int printOrientation = 1; // what the printer set-up chose: 1 portrait, 2 landscape
    QStringList busyLog;      // "on" / "off"
    int busyDepth = 0;
    QDateTime clock = QDateTime(QDate(2005, 4, 1), QTime(9, 5, 7));
    QString folder;           // programFolder(); a temporary folder by default
    QString helpDir;          // helpFolder(); same as folder by default
    bool desktopOpens = true; // whether shellOpen finds a program

    QList<PlatformCall> callsOf(const QString &kind) const;
    QStringList messageTexts() const;
    // Empty when every answer was used and nothing unexpected happened;
    // otherwise a description for QVERIFY2.
    QString problems() const;
    void reset();

    // --- Platform
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
    QDateTime now() override { return clock; }
    QString programFolder() override { return folder; }
    QString helpFolder() override { return helpDir.isEmpty() ? folder : helpDir; }

private:
    using Answer = std::variant<MsgAnswer, std::optional<QString>, QStringList, bool,
                                std::pair<QString, std::function<void(QWidget *)>>>;
    struct Queued {
        QString kind;
        Answer answer;
    };
    bool take(const QString &kind, Answer *out);
    std::deque<Queued> m_queue;
    QTemporaryDir m_tmp;
};

#define VERIFY_PLATFORM(fake)                                                                                          \
    do {                                                                                                               \
        const QString p_ = (fake).problems();                                                                          \
        QVERIFY2(p_.isEmpty(), qPrintable(p_));                                                                        \
    } while (0)
