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
        const QString aside = setJournalAside(path);
        platform().messageBox(
            this,
            QStringLiteral("前回の送信の記録を読めませんでした（%1）。\n記録は %2 に移しました。").arg(error, aside),
            kTitle, MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    const QList<qsizetype> rest = journal->remaining(false);
    if (rest.isEmpty() && journal->uncertain < 0) {
        QFile::remove(path);
        return false;
    }
    QString question = QStringLiteral("前回の送信は %1 件中 %2 件で中断されました。残りの %3 件を送信しますか？")
                           .arg(journal->entries.size())
                           .arg(journal->acceptedCount())
                           .arg(rest.size());
    if (journal->uncertain >= 0)
        question += QStringLiteral("\n\n送信中だった次の宛先は、届いたかどうかわかりません。\n")
                    + journal->entries[journal->uncertain].label();
    if (platform().messageBox(this, question, kTitle, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes) {
        QFile::remove(path);
        return false;
    }
    QList<qsizetype> indices = journal->remaining(false);
    if (journal->uncertain >= 0
        && platform().messageBox(this,
                                 QStringLiteral("%1 にも、もう一度送りますか？\n（届いていた場合は２通目になります）")
                                     .arg(journal->entries[journal->uncertain].label()),
                                 kTitle, MsgIcon::Question, MsgButtons::YesNo)
               == MsgAnswer::Yes)
        indices = journal->remaining(true);

    // The same message as the run that ended early, to the entries it left.
    const JournalContent &c = journal->content;
    if (c.account != ActiveAccount.Account) {
        ActiveAccount.Account = static_cast<qint16>(c.account);
        LoadAccountProfile(settings(), ActiveAccount.Account);
    }
    txtSubject->setText(c.subject);
    setBodyText(c.bodyText);
    setAttachmentPaths(c.attachmentText.split(QLatin1Char('\t'), Qt::SkipEmptyParts));
    Check1->setChecked(c.nameOption == 1);
    Check2->setChecked(c.honorificOption == 1);
    sendList().beginBatch();
    sendList().clear();
    for (qsizetype i : indices)
        sendList().append(journal->entries[i].name1, journal->entries[i].name2, journal->entries[i].address);
    sendList().endBatch();
    Text1->setText(QString::number(sendList().count()));
    runFromWindow(indices);
    return true;
}
