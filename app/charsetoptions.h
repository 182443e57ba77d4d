#pragma once
// The send command's choice of charset: --charset over the account's, and
// what happens when ISO-2022-JP would lose characters.

#include "account.h"
#include "outgoing.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

class SendList;

struct CharsetOptions {
    const QCommandLineOption charset{QStringLiteral("charset"),
                                     QStringLiteral("The mail's charset, over the account's: utf-8 or iso-2022-jp."),
                                     QStringLiteral("NAME")};
    const QCommandLineOption fallback{
        QStringLiteral("charset-fallback"),
        QStringLiteral("utf-8: send in UTF-8 when ISO-2022-JP can't carry every character (otherwise the send "
                       "stops, naming them)."),
        QStringLiteral("NAME")};
    MailCharset used = MailCharset::Utf8; // what the run sends in

    // "" when the values are known.
    QString problem(const QCommandLineParser &parser) const;
    // Sets the account's charset for the run; false with the error text
    // when characters would be lost and no fallback was asked for.
    bool apply(const QCommandLineParser &parser, AccountRecord &account, const OutgoingContent &content,
               const SendList &list, QString *error);
};
