#include "mailtransport.h"

namespace {

bool startsWithCode(const QString &text, QChar first)
{
    return text.size() >= 3 && text[0] == first && text[1].isDigit() && text[2].isDigit()
           && (text.size() == 3 || !text[3].isDigit());
}

} // namespace

bool MessageResult::temporary() const
{
    return kind == Kind::NotSent || kind == Kind::UnusableForNow
           || (kind == Kind::Refused && startsWithCode(text, QLatin1Char('4')));
}

bool MessageResult::serverTrouble() const
{
    return kind == Kind::NotSent || (kind == Kind::Refused && text.startsWith(QLatin1String("421")));
}

MessageResult MessageResult::fromReply(const QString &reply)
{
    if (reply.isEmpty())
        return {Kind::Accepted, {}};
    if (reply.contains(QLatin1String("Cant connect Server")) || reply.contains(QLatin1String("AUTH LOGIN")))
        return {Kind::Unusable, reply};
    return {Kind::Refused, reply};
}
