#pragma once
// The rule every sender and recipient address passes before it reaches the
// server, and its form on the wire. A domain outside ASCII travels in its
// ASCII (punycode) form; a local part outside ASCII needs a server that
// offers SMTPUTF8.

#include <QByteArray>
#include <QString>

struct MailAddress {
    enum class Problem {
        None,
        Empty,
        ControlCharacter, // a line break or other control character
        Blank,
        Comma,
        AngleBracket,
        NotOneAt,  // no @, or more than one
        EmptyPart, // nothing before or after the @
        Domain,    // a domain that has no ASCII form
        TooLong,   // over 254 octets
    };
    QByteArray wire; // what MAIL FROM, RCPT TO and the headers carry
    // The address with its domain in Unicode, for a server that offers
    // SMTPUTF8; empty when it is the same as wire.
    QByteArray wireUtf8;
    bool needsSmtpUtf8 = false;
    Problem problem = Problem::None;

    bool isValid() const { return problem == Problem::None; }
};

MailAddress parseMailAddress(const QString &address);

// Why an address is refused: in English for the log, where the server's
// own texts stand too, and in Japanese for the user's messages.
QString addressProblemText(MailAddress::Problem problem);
QString addressProblemTextJa(MailAddress::Problem problem);

// "Invalid recipient address (a blank): a b@example.jp" and the like. Control
// characters in the address are shown escaped, so the text stays one line.
QString addressErrorText(const QString &role, const MailAddress &checked, const QString &address);
// The address as it can be shown on one line.
QString printableAddress(const QString &address);
