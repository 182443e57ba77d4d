#pragma once
// What must hold before a run connects to anything: every attachment can be
// read, the sender address and every entry's address pass the address rule.
// A run that would fail every entry, or some of them, for its own input
// stops before it starts, with the list and the last log as they were.

#include <QString>

class SendList;

// "" when the run may start; otherwise the message for the user, naming
// each attachment that can't be read, the sender address, and the count and
// first few of the entries whose address is refused.
QString preflightMessage(const QString &fromAddress, const QString &attachmentText, const SendList &list);
