#pragma once
// Before a run in ISO-2022-JP: the characters its messages would lose, for
// the user to see before anything is sent.

#include "iso2022jp.h"
#include "outgoing.h"

class SendList;

// The charset's name as messages and the preview show it.
QString charsetName(MailCharset charset);

// What ISO-2022-JP can't carry in the sender's name, the subject, the text
// and, when the body opens with them, every entry's name lines.
iso2022jp::Unwritable unwritableCharacters(const OutgoingContent &content, const SendList &list);

// "次の文字は ISO-2022-JP では送れません：😀 𠮷（3 か所）。"
QString unwritableText(const iso2022jp::Unwritable &unwritable);
// The text above and whether to send in UTF-8 instead.
QString utf8FallbackQuestion(const iso2022jp::Unwritable &unwritable);
