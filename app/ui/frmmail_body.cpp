#include "frmmail.h"

#include "appcontext.h"
#include "bodyfile.h"
#include "platform.h"
#include "sendlist.h"
#include "textfile.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QStatusBar>

// New, open, save, attachments and printing of the message.

namespace {

const QString kCrLf = QStringLiteral("\r\n");

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

// Why a body file was not opened.
QString bodyReadFailureText(const BodyFileRead &read, const QString &path)
{
    switch (read.status) {
    case BodyFileRead::UnknownEncoding: return QStringLiteral("文字コードを判別できません。\n") + path;
    case BodyFileRead::TooLarge:
        return QStringLiteral("ファイルが大きすぎます（%1 まで）。\n").arg(sizeLimitText(BodyFile::kMaxBytes)) + path;
    default: break;
    }
    return QStringLiteral("ファイルを開けません。\n") + path + QStringLiteral("（") + read.error + QStringLiteral("）");
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
    const BodyFileRead read = BodyFile::read(path);
    if (read.status != BodyFileRead::Read && read.status != BodyFileRead::Empty) {
        busy.release();
        platform().messageBox(this, bodyReadFailureText(read, path), QStringLiteral("Information"),
                              MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    setBodyText(QString());
    if (read.status == BodyFileRead::Empty)
        return;
    setBodyText(read.file.body);
    txtSubject->setText(read.file.subject);
    mnuFileSave->setEnabled(true);
    BodyFileName = path;
    BodyChanged = false;
    // The encoding was guessed; the user sees which, while the account line waits.
    sbStatusBar->showMessage(QStringLiteral("文字コード：") + textEncodingName(read.encoding), 15000);
}

bool frmMail::writeBodyFile(const QString &path)
{
    const BodyFile file{txtSubject->text(), bodyText()};
    // Text code page 932 can't hold goes to UTF-8 only when the user agrees.
    const QString unwritable = file.cp932Unwritable();
    if (!unwritable.isEmpty()
        && platform().messageBox(
               this,
               QStringLiteral("次の文字はシフトJISで保存できません。\n%1\n\nUTF-8 で保存しますか？").arg(unwritable),
               QStringLiteral("ファイルに保存"), MsgIcon::Question, MsgButtons::YesNo)
               != MsgAnswer::Yes)
        return false;
    QString error;
    const bool written = file.write(path, &error);
    if (!written)
        // The error names the file: "path: reason", or the full disk.
        platform().messageBox(this, QStringLiteral("ファイルに保存できませんでした。\n") + error,
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
