#include "charsetcheck.h"

#include "sendlist.h"

namespace {
// More than this many different characters are not read one by one.
constexpr qsizetype kCharactersShown = 20;
}

QString charsetName(MailCharset charset)
{
    return charset == MailCharset::Iso2022Jp ? QStringLiteral("ISO-2022-JP") : QStringLiteral("UTF-8");
}

iso2022jp::Unwritable unwritableCharacters(const OutgoingContent &content, const SendList &list)
{
    iso2022jp::Unwritable u;
    u.add(content.fromName);
    u.add(content.subject);
    u.add(content.bodyText);
    if (content.nameBlock) {
        u.add(content.honorific);
        for (qsizetype i = 0; i < list.count(); ++i) {
            const SendList::Entry entry = list.entry(i);
            u.add(entry.name1);
            u.add(entry.name2);
        }
    }
    return u;
}

QString unwritableText(const iso2022jp::Unwritable &unwritable)
{
    QStringList shown = unwritable.characters.mid(0, kCharactersShown);
    if (unwritable.characters.size() > kCharactersShown)
        shown << QStringLiteral("…");
    return QStringLiteral("次の文字は ISO-2022-JP では送れません：%1（%2 か所）。")
        .arg(shown.join(QLatin1Char(' ')))
        .arg(unwritable.places);
}

QString utf8FallbackQuestion(const iso2022jp::Unwritable &unwritable)
{
    return unwritableText(unwritable) + QStringLiteral("このメールを UTF-8 で送りますか？");
}
