#pragma once
// The rule every sender and recipient address passes before it reaches the
// server, and its form on the wire. A domain outside ASCII travels in its
// ASCII (punycode) form; a local part outside ASCII needs a server that
// offers SMTPUTF8.

#include <QByteArray>
#include <QString>

struct MailAddress {
    QByteArray wire;            // what MAIL FROM, RCPT TO and the headers carry
    bool needsSmtpUtf8 = false;
    QString problem;            // why the address is refused; "" when usable

    bool isValid() const { return problem.isEmpty(); }
};

MailAddress parseMailAddress(const QString &address);

// "Invalid recipient address (a blank): a b@example.jp" and the like. Control
// characters in the address are shown escaped, so the text stays one line.
QString addressErrorText(const QString &role, const MailAddress &checked, const QString &address);
