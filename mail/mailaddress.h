#pragma once
// The rule every sender and recipient address passes before it reaches the
// server, and its form on the wire. A domain outside ASCII is read by the
// rules of internationalised domain names (UTS #46, nontransitional) and
// travels in its ASCII (A-label) form, or in its Unicode form to a server
// that offers SMTPUTF8; a local part outside ASCII needs such a server.

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
        Domain,    // a domain outside ASCII that is no valid domain name
        TooLong,   // over 254 octets
    };
    QByteArray wire;     // what MAIL FROM, RCPT TO and the headers carry: the domain as A-labels
    QByteArray wireUtf8; // the same with the domain in Unicode, for SMTPUTF8; equal to wire when all ASCII
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
