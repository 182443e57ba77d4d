#include "charsetoptions.h"

#include "charsetcheck.h"

namespace {
const QString kUtf8 = QStringLiteral("utf-8");
const QString kIso2022Jp = QStringLiteral("iso-2022-jp");
}

QString CharsetOptions::problem(const QCommandLineParser &parser) const
{
    const QString name = parser.value(charset).toLower();
    if (parser.isSet(charset) && name != kUtf8 && name != kIso2022Jp)
        return QStringLiteral("--charset must be utf-8 or iso-2022-jp, not \"%1\"").arg(parser.value(charset));
    if (parser.isSet(fallback) && parser.value(fallback).toLower() != kUtf8)
        return QStringLiteral("--charset-fallback must be utf-8, not \"%1\"").arg(parser.value(fallback));
    return {};
}

bool CharsetOptions::apply(const QCommandLineParser &parser, AccountRecord &account, const OutgoingContent &content,
                           const SendList &list, QString *error)
{
    if (parser.isSet(charset))
        account.Charset = parser.value(charset).toLower() == kIso2022Jp ? MailCharset::Iso2022Jp : MailCharset::Utf8;
    used = account.Charset;
    if (account.Charset != MailCharset::Iso2022Jp)
        return true;
    const iso2022jp::Unwritable lost = unwritableCharacters(content, list);
    if (lost.isEmpty())
        return true;
    if (!parser.isSet(fallback)) {
        *error = unwritableText(lost) + QStringLiteral(" Nothing was sent (--charset-fallback utf-8 sends in UTF-8).");
        return false;
    }
    account.Charset = used = MailCharset::Utf8;
    return true;
}
