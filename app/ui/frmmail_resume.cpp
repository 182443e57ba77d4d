#include "frmmail.h"

#include "account.h"
#include "appcontext.h"
#include "platform.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sentmaillog.h"
#include "settingsstore.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

const QString kTitle = QStringLiteral("送信の再開");

} // namespace

bool frmMail::offerResume()
{
    const QString path = SendJournal::pathBeside(SentMailLog::pathIn(platform().programFolder()));
    if (!QFile::exists(path))
        return false;
    QString error;
    const std::optional<JournalState> journal = readJournal(path, &error);
    if (!journal) {
        const QString aside = setJournalAside(path, &error);
        platform().messageBox(this,
                              aside.isEmpty()
                                  ? QStringLiteral("前回の送信の記録を読めませんでした（%1）。").arg(error)
                                  : QStringLiteral(
                                        "前回の送信の記録を読めませんでした（%1）。\n記録は %2 に移しました。")
                                        .arg(error, aside),
                              kTitle, MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    if (!journal->pending()) {
        QFile::remove(path);
        return false;
    }
    const QList<qsizetype> sure = journal->remaining(false);
    QString question = QStringLiteral("前回の送信は %1 件中 %2 件で中断されました。残りの %3 件を送信しますか？")
                           .arg(journal->entries.size())
                           .arg(journal->acceptedCount())
                           .arg(sure.size());
    QStringList unsure;
    for (qsizetype i : journal->uncertain)
        unsure << journal->entries[i].label();
    if (!unsure.isEmpty())
        question += QStringLiteral("\n\n送信中だった次の宛先は、届いたかどうかわかりません。\n")
                    + unsure.join(QLatin1Char('\n'));
    if (platform().messageBox(this, question, kTitle, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes) {
        QFile::remove(path);
        return false;
    }
    // The window's own unsaved message would be replaced by the run's.
    const JournalContent &c = journal->content;
    if (BodyChanged && (bodyText() != c.bodyText || txtSubject->text() != c.subject)) {
        const MsgAnswer a =
            platform().messageBox(this,
                                  QStringLiteral("再開すると、作成中の件名と本文は前回の送信の内容に置き換わります。\n"
                                                 "本文は変更されています。ファイルに保存しますか？"),
                                  kTitle, MsgIcon::Question, MsgButtons::YesNoCancel);
        if (a == MsgAnswer::Cancel)
            return true;
        if (a == MsgAnswer::Yes) {
            mnuFileSaveAs_Click();
            // A cancelled or failed save keeps the text, and the run waits.
            if (BodyChanged)
                return true;
        }
    }
    QList<qsizetype> indices = sure;
    if (!unsure.isEmpty()) {
        if (platform().messageBox(this,
                                  QStringLiteral("%1 にも、もう一度送りますか？\n（届いていた場合は２通目になります）")
                                      .arg(unsure.join(QStringLiteral("、"))),
                                  kTitle, MsgIcon::Question, MsgButtons::YesNo)
            == MsgAnswer::Yes) {
            indices = journal->remaining(true);
        } else if (!SendJournal::markKept(path, journal->uncertain, &error)) {
            // The answer must outlive this window, or the next interruption
            // would forget it.
            platform().messageBox(this, QStringLiteral("前回の送信の記録に書き込めませんでした（%1）。").arg(error),
                                  kTitle, MsgIcon::Warning, MsgButtons::Ok);
            return true;
        }
    }
    if (indices.isEmpty()) {
        QFile::remove(path);
        return false;
    }

    // The same message as the run that ended early, to the entries it left.
    if (c.account != ActiveAccount.Account) {
        ActiveAccount.Account = static_cast<qint16>(c.account);
        LoadAccountProfile(settings(), ActiveAccount.Account);
    }
    txtSubject->setText(c.subject);
    setBodyText(c.bodyText);
    setAttachmentPaths(c.attachmentText.split(QLatin1Char('\t'), Qt::SkipEmptyParts));
    Check1->setChecked(c.nameBlock);
    Check2->setChecked(!c.honorific);
    sendList().setEntries(journal->entries, indices);
    Text1->setText(QString::number(sendList().count()));
    startRun(indices);
    return true;
}
