#include "frmmail.h"

#include "appcontext.h"
#include "platform.h"
#include "sendlist.h"
#include "textcodec.h"
#include "textfile.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>

// New, open, save, attachments and printing of the message.

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Lines of a body text file. CR LF ends a line; a lone CR or LF is taken as
// a line end too, so files written elsewhere still open. A line end at the
// very end of the file does not start another line.
QStringList fileLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            lines.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

// The file's content: subject, CR LF, the body as it stands, CR LF.
QString bodyFileText(const QString &subject, const QString &body)
{
    return subject + kCrLf + body + kCrLf;
}

// Paths name files exactly on file systems that tell upper from lower case;
// elsewhere two spellings of one path are the same file.
Qt::CaseSensitivity pathCase()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

bool holds(const QStringList &paths, const QString &path)
{
    for (const QString &p : paths)
        if (p.compare(path, pathCase()) == 0)
            return true;
    return false;
}

} // namespace

QStringList frmMail::attachmentPaths() const
{
    return txtFile->text().split(QLatin1Char('\t'), Qt::SkipEmptyParts);
}

void frmMail::setAttachmentPaths(const QStringList &paths)
{
    List1->clear();
    for (const QString &path : paths) {
        auto *item = new QListWidgetItem(QFileInfo(path).fileName(), List1);
        item->setToolTip(QDir::toNativeSeparators(path));
        item->setData(Qt::UserRole, path);
    }
    txtFile->setText(paths.join(QLatin1Char('\t')));
}

void frmMail::mnuFileNew_Click()
{
    setBodyText(QString());
    sendList().clear();
    txtSubject->setText(QString());
    setAttachmentPaths({});
    setBodyText(initialBody());
    // BodyChanged stays set: a new message is unsaved. The count is shown
    // again at the next activation.
}

void frmMail::mnuFileOpen_Click()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("ファイルを開く");
    spec.mustExist = true;
    spec.filters = {{QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")},
                    {QStringLiteral("txt ﾌｧｲﾙ (*.txt)"), QStringLiteral("*.txt")}};
    spec.filterIndex = 2;
    const FileDialogResult r = platform().openFileDialog(this, spec);
    if (r.cancelled || r.files.isEmpty() || r.files.first().isEmpty())
        return;
    const QString path = r.files.first();

    BusyPointer busy(platform());
    // A file that can't be read, or whose encoding is neither UTF-8 nor code
    // page 932, is reported and the body stays as it is.
    QString error;
    const std::optional<QByteArray> bytes = readFileBytes(path, &error);
    const std::optional<QString> text = bytes ? decodeText(*bytes) : std::nullopt;
    if (!text) {
        busy.release();
        platform().messageBox(this,
                              bytes ? QStringLiteral("文字コードを判別できません。\n") + path
                                    : QStringLiteral("ファイルを開けません。\n") + path + QStringLiteral("（") + error
                                          + QStringLiteral("）"),
                              QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    setBodyText(QString());
    const QStringList lines = fileLines(*text);
    if (lines.isEmpty())
        return;
    QString body;
    for (qsizetype i = 1; i < lines.size(); ++i)
        body += lines.at(i) + kCrLf;
    setBodyText(body);
    txtSubject->setText(lines.first());
    mnuFileSave->setEnabled(true);
    BodyFileName = path;
    BodyChanged = false;
}

bool frmMail::writeBodyFile(const QString &path)
{
    const QString text = bodyFileText(txtSubject->text(), bodyText());
    // Code page 932 where every character fits; otherwise UTF-8 rather than "?".
    const QString unwritable = cp932Unwritable(text);
    if (!unwritable.isEmpty()
        && platform().messageBox(this,
                                 QStringLiteral("次の文字はシフトJISで保存できません。\n%1\n\nUTF-8 で保存しますか？")
                                     .arg(unwritable),
                                 QStringLiteral("ファイルに保存"), MsgIcon::Question, MsgButtons::YesNo)
            != MsgAnswer::Yes)
        return false;
    QString error;
    const bool written = unwritable.isEmpty() ? writeCp932File(path, text, &error)
                                              : writeUtf8File(path, text, &error);
    if (!written)
        platform().messageBox(this, QStringLiteral("ファイルに保存できませんでした。\n") + path + QStringLiteral("（") + error
                                  + QStringLiteral("）"),
                              QStringLiteral("ファイルに保存"), MsgIcon::Warning, MsgButtons::Ok);
    return written;
}

void frmMail::mnuFileSave_Click()
{
    if (BodyFileName.isEmpty())
        return;
    // A body that did not reach the file is still unsaved, so closing keeps
    // asking to save it.
    if (writeBodyFile(BodyFileName))
        BodyChanged = false;
}

void frmMail::mnuFileSaveAs_Click()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("名前を付けて保存");
    spec.overwritePrompt = true;
    spec.filters = {{QStringLiteral("txtﾌｧｲﾙ (*.txt)"), QStringLiteral("*.txt")}};
    spec.filterIndex = 1;
    const FileDialogResult r = platform().saveFileDialog(this, spec);
    if (r.cancelled || r.files.isEmpty() || r.files.first().isEmpty())
        return;
    const QString path = r.files.first();
    if (!writeBodyFile(path))
        return; // BodyChanged keeps its value: nothing was saved.
    BodyFileName = path;
    BodyChanged = false;
}

void frmMail::mnuFilePrint_Click()
{
    if (!platform().printDialog(this, QStringLiteral("印刷")))
        return;
    BusyPointer busy(platform());
    const std::unique_ptr<PrintJob> job = platform().startPrintJob();
    if (!job)
        return;
    // The printer's default font; only the sizes are set.
    job->setFontSize(12);
    for (int i = 0; i < 3; ++i)
        job->printLine(QString());
    const QString date = QLocale().toString(platform().now().date(), QLocale::ShortFormat);
    job->printLine(QStringLiteral("Date       ") + date);
    job->printLine(QStringLiteral("Subject    ") + txtSubject->text());
    job->printLine(QStringLiteral("Body  "));
    job->printLine(QString());
    job->setFontSize(11);
    for (const QString &line : bodyText().split(kCrLf))
        job->printLine(line);
    job->endDoc();
}

void frmMail::mnuFilePageSetup_Click()
{
    // Cancelling changes nothing; the choice applies to later prints.
    platform().printerSetupDialog(this, QStringLiteral("ﾌﾟﾘﾝﾀの設定"));
}

void frmMail::mnuBodyRefresh_Click()
{
    setBodyText(initialBody());
    m_filledBody = bodyText();
    BodyChanged = false;
}

void frmMail::mnuTempOpen_Click()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("添付ファイル");
    spec.mustExist = true;
    spec.multiSelect = true;
    spec.filters = {{QStringLiteral("すべてのファイル (*.*)"), QStringLiteral("*.*")},
                    {QStringLiteral("doc ﾌｧｲﾙ (*.doc)"), QStringLiteral("*.doc")}};
    spec.filterIndex = 1;
    const FileDialogResult r = platform().openFileDialog(this, spec);
    if (r.cancelled || r.files.isEmpty())
        return;
    // Paths keep the case they were chosen with: upper-cased, they would
    // name files that do not exist on most file systems here.
    QStringList paths = attachmentPaths();
    for (const QString &file : r.files) {
        const QString path = QDir::cleanPath(file);
        if (!file.isEmpty() && !holds(paths, path))
            paths << path;
    }
    setAttachmentPaths(paths);
}

void frmMail::mnuTempkKill_Click()
{
    setAttachmentPaths({});
}

void frmMail::mnuSine_Click()
{
    // The signature is edited in the account dialog.
    openAccounts();
}
