#pragma once
// Unsubscribing from an account's messages: the List-Unsubscribe headers
// (RFC 2369, one-click as RFC 8058 has it), the recipient's token in the
// Message-ID, and the footer after the signature, filled in per recipient.

#include "mimemessage.h"

#include <QByteArray>
#include <QString>

struct AccountRecord;
class SettingsStore;

struct UnsubscribeParts {
    bool on = false;
    QString address; // where requests go: the account's, else its sender
    QString url;     // an https page, or ""
    QString footer;  // CR LF line ends; "": none
    QByteArray secret;
};

// The account's settings, with the program's secret from the store.
UnsubscribeParts unsubscribeParts(const AccountRecord &account, SettingsStore &settings);
// The same from a settings file ("": the user's own store).
UnsubscribeParts unsubscribeParts(const AccountRecord &account, const QString &settingsFile);

// An https address with a host, as a page for requests must be.
bool isUnsubscribeUrl(const QString &url);
// The footer offered for a new account.
QString defaultUnsubscribeFooter();

// The mailto: and https addresses for one recipient.
QString unsubscribeMailto(const UnsubscribeParts &parts, const QString &recipient);
QString unsubscribePage(const UnsubscribeParts &parts, const QString &recipient);
// The footer for one recipient: the marks filled, and a line whose mark
// has nothing to fill left out. "" when there is no footer.
QString unsubscribeFooter(const UnsubscribeParts &parts, const QString &recipient);

// What one recipient's message has of its own; nothing when off.
mime::RecipientExtra unsubscribeExtra(const UnsubscribeParts &parts, const QString &recipient);

// The question before a run of an advertising account whose message (the
// body and the footer) shows neither where to unsubscribe nor the sender's
// name.
extern const QString kUnsubscribeNoticeQuestion;
// Whether a run of the account with this body needs that question.
bool lacksUnsubscribeNotice(const AccountRecord &account, const QString &bodyText);
