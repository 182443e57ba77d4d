#include "attachmentname.h"

#include "iso2022jp.h"
#include "mimemessage.h"

namespace mime {

namespace {

// ' name="' and the closing quote and semicolon leave this much of a line.
constexpr qsizetype kQuotedNameChars = 64;

bool quotesAsItIs(const QString &name)
{
    if (!isPlainHeaderText(name) || name.size() > kQuotedNameChars)
        return false;
    const qsizetype open = name.indexOf(QLatin1String("=?"));
    return open < 0 || name.indexOf(QLatin1String("?="), open + 2) < 0;
}

// A file name must arrive as it is: half-width katakana made full-width,
// or a character turned into '?', would name another file.
bool carriesUnchanged(const QString &name)
{
    if (iso2022jp::widenKatakana(name) != name)
        return false;
    iso2022jp::Unwritable lost;
    lost.add(name);
    return lost.isEmpty();
}

} // namespace

QByteArray contentTypeNameParameter(const QString &fileName, MailCharset charset)
{
    QByteArray out = ";\r\n name=\"";
    if (quotesAsItIs(fileName)) {
        for (QChar c : fileName) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                out += '\\';
            out += static_cast<char>(c.unicode());
        }
    } else {
        const bool jis = charset == MailCharset::Iso2022Jp && carriesUnchanged(fileName);
        out += encodedWords(fileName, jis ? MailCharset::Iso2022Jp : MailCharset::Utf8);
    }
    out += '"';
    return out;
}

} // namespace mime
