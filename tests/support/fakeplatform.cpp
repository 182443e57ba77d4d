#include "fakeplatform.h"

#include <QDialog>
#include <QWidget>

FakePlatform::FakePlatform()
{
    folder = m_tmp.path();
}

FakePlatform::~FakePlatform() = default;

void FakePlatform::answerMessage(MsgAnswer a)
{
    m_queue.push_back({QStringLiteral("message"), a});
}
void FakePlatform::answerInput(std::optional<QString> text)
{
    m_queue.push_back({QStringLiteral("input"), text});
}
void FakePlatform::answerOpen(QStringList files)
{
    m_queue.push_back({QStringLiteral("open"), files});
}
void FakePlatform::answerSave(QString file)
{
    m_queue.push_back({QStringLiteral("save"), file.isEmpty() ? QStringList() : QStringList{file}});
}
void FakePlatform::answerPrintDialog(bool ok)
{
    m_queue.push_back({QStringLiteral("print"), ok});
}
void FakePlatform::answerPrinterSetup(bool ok)
{
    m_queue.push_back({QStringLiteral("printSetup"), ok});
}
void FakePlatform::answerModal(const QString &expectedName, std::function<void(QWidget *)> action)
{
    m_queue.push_back({QStringLiteral("modal"), std::make_pair(expectedName, std::move(action))});
}

bool FakePlatform::take(const QString &kind, Answer *out)
{
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (it->kind == kind) {
            *out = it->answer;
            m_queue.erase(it);
            return true;
        }
    }
    return false;
}

QList<PlatformCall> FakePlatform::callsOf(const QString &kind) const
{
    QList<PlatformCall> out;
    for (const auto &c : calls)
        if (c.kind == kind)
            out.append(c);
    return out;
}

QStringList FakePlatform::messageTexts() const
{
    QStringList out;
    for (const auto &c : calls)
        if (c.kind == QLatin1String("message"))
            out.append(c.text);
    return out;
}

QString FakePlatform::problems() const
{
    QStringList p;
    for (const QString &u : unexpected)
        p << QStringLiteral("unexpected call: ") + u;
    for (const auto &q : m_queue)
        p << QStringLiteral("unused answer for: ") + q.kind;
    return p.join(QLatin1Char('\n'));
}

void FakePlatform::reset()
{
    calls.clear();
    unexpected.clear();
    printed.clear();
    busyLog.clear();
    m_queue.clear();
}

MsgAnswer FakePlatform::messageBox(QWidget *, const QString &text, const QString &title, MsgIcon icon,
                                   MsgButtons buttons, MsgDefault defaultButton)
{
    PlatformCall c;
    c.kind = QStringLiteral("message");
    c.text = text;
    c.title = title;
    c.icon = icon;
    c.buttons = buttons;
    c.defaultButton = defaultButton;
    calls.append(c);
    // An OK-only box needs no script: there is one answer.
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    Answer a;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("message \"%1\"").arg(text);
        return MsgAnswer::Cancel;
    }
    return std::get<MsgAnswer>(a);
}

std::optional<QString> FakePlatform::inputBox(QWidget *, const QString &prompt, const QString &title, const QString &)
{
    PlatformCall c;
    c.kind = QStringLiteral("input");
    c.text = prompt;
    c.title = title;
    calls.append(c);
    Answer a;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("input \"%1\"").arg(prompt);
        return std::nullopt;
    }
    return std::get<std::optional<QString>>(a);
}

FileDialogResult FakePlatform::openFileDialog(QWidget *, const FileDialogSpec &spec)
{
    PlatformCall c;
    c.kind = QStringLiteral("open");
    c.title = spec.title;
    c.file = spec;
    calls.append(c);
    Answer a;
    FileDialogResult r;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("open dialog \"%1\"").arg(spec.title);
        return r;
    }
    r.files = std::get<QStringList>(a);
    r.cancelled = r.files.isEmpty();
    return r;
}

FileDialogResult FakePlatform::saveFileDialog(QWidget *, const FileDialogSpec &spec)
{
    PlatformCall c;
    c.kind = QStringLiteral("save");
    c.title = spec.title;
    c.file = spec;
    calls.append(c);
    Answer a;
    FileDialogResult r;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("save dialog \"%1\"").arg(spec.title);
        return r;
    }
    r.files = std::get<QStringList>(a);
    r.cancelled = r.files.isEmpty();
    return r;
}

bool FakePlatform::printDialog(QWidget *, const QString &title)
{
    PlatformCall c;
    c.kind = QStringLiteral("print");
    c.title = title;
    calls.append(c);
    Answer a;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("print dialog \"%1\"").arg(title);
        return false;
    }
    return std::get<bool>(a);
}

bool FakePlatform::printerSetupDialog(QWidget *, const QString &title)
{
    PlatformCall c;
    c.kind = QStringLiteral("printSetup");
    c.title = title;
    calls.append(c);
    Answer a;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("printer set-up \"%1\"").arg(title);
        return false;
    }
    return std::get<bool>(a);
}

std::unique_ptr<PrintJob> FakePlatform::startPrintJob()
{
    PlatformCall c;
    c.kind = QStringLiteral("printJob");
    calls.append(c);
    return std::make_unique<FakePrintJob>(&printed, printOrientation);
}

bool FakePlatform::shellOpen(QWidget *, const QString &pathOrUrl)
{
    PlatformCall c;
    c.kind = QStringLiteral("shell");
    c.text = pathOrUrl;
    calls.append(c);
    return desktopOpens;
}

void FakePlatform::showHelpWindow(QWidget *, const QString &pageUrl)
{
    PlatformCall c;
    c.kind = QStringLiteral("help");
    c.text = pageUrl;
    calls.append(c);
}

bool FakePlatform::startProcess(const QString &program, const QStringList &args)
{
    PlatformCall c;
    c.kind = QStringLiteral("process");
    c.text = program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
    calls.append(c);
    return true;
}

int FakePlatform::showModal(QWidget *window)
{
    PlatformCall c;
    c.kind = QStringLiteral("modal");
    c.text = window->objectName();
    calls.append(c);
    Answer a;
    int result = QDialog::Rejected;
    if (!take(c.kind, &a)) {
        unexpected << QStringLiteral("modal window %1").arg(c.text);
    } else {
        auto [name, action] = std::get<std::pair<QString, std::function<void(QWidget *)>>>(a);
        if (name != c.text)
            unexpected << QStringLiteral("modal window %1 where %2 was scripted").arg(c.text, name);
        // The window is live while the action runs, as it would be on screen.
        const bool wasVisible = window->isVisible();
        window->show();
        if (action)
            action(window);
        if (auto *d = qobject_cast<QDialog *>(window)) {
            result = d->result();
            if (d->isVisible())
                d->done(d->result());
        } else if (!wasVisible) {
            window->hide();
        }
    }
    // As on the desktop: the window below becomes active again.
    if (QWidget *owner = window->parentWidget())
        notifyReactivated(owner);
    return result;
}

void FakePlatform::setBusy(bool busy)
{
    busyLog << (busy ? QStringLiteral("on") : QStringLiteral("off"));
    if (busy)
        ++busyDepth;
    else if (busyDepth > 0)
        --busyDepth;
}
