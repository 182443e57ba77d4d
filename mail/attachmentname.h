#pragma once
// The file name of an attachment in the second form mail programs look for:
// a name= parameter of Content-Type. Many Japanese mail programs read a
// non-ASCII name only from there, as RFC 2047 encoded words, and ignore the
// RFC 2231 filename* of Content-Disposition.

#include "account.h"

#include <QByteArray>
#include <QString>

namespace mime {

// ";\r\n name=\"...\"" to append to a Content-Type value: the name quoted
// when it is short printable ASCII, else encoded words in the message's
// charset (UTF-8 when ISO-2022-JP can't carry the name unchanged), folded
// inside the quotes so that no line exceeds 76 characters.
QByteArray contentTypeNameParameter(const QString &fileName, MailCharset charset);

} // namespace mime
