#pragma once
// The connection test: reaches the account's servers as a send does (POP3
// first where the account asks for it), secures each connection, logs in
// and says goodbye, sending no mail. Each step is reported as it ends, with
// what it saw; a failure comes with what to change.

#include "certificate.h"
#include "sendrun.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

struct AccountRecord;

struct CheckStep {
    QString title; // "SMTP: 暗号化"
    QString text;  // what was seen, one or more lines
    bool passed = true;
};

struct ConnectionCheckResult {
    bool passed = false;
    QList<CheckStep> steps;
    QString failure; // the transport's text of the step that failed
    QString hint;    // what to change, in Japanese ("" when nothing fits)
    // The SMTP server's SIZE once its EHLO was seen: 0 when it names none.
    std::optional<qint64> smtpSizeLimit;
    // The certificate that was not trusted, when that stopped the test.
    std::optional<UntrustedCertificate> untrusted;
};

// Runs the test on the calling thread; onStep is called there as each step
// ends. Without a limit of its own in options, no wait is longer than
// kCheckSeconds.
constexpr int kCheckSeconds = 30;
ConnectionCheckResult checkConnection(const AccountRecord &account, TransportOptions options,
                                      const std::function<void(const CheckStep &)> &onStep = {});

// The result as lines of text, for a terminal: "[OK] title: text".
QString connectionCheckText(const ConnectionCheckResult &result);
