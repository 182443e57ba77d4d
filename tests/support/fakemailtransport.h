#pragma once
// A transport the test scripts: the reply for each recipient, the POP
// check's result, and a record of every call. factory() goes into
// SendRunEnvironment::makeTransport; the transports it makes report here.

#include "mailtransport.h"
#include "sendrun.h"

#include <QHash>
#include <QList>
#include <QVariantList>
#include <functional>
#include <optional>

class FakeMailTransport {
public:
    struct Call {
        Envelope envelope;
        QByteArray message;
        std::optional<QByteArray> nextTo; // the envelope announced to follow
    };

    QVariant popResult = QVariantList{0, 0};
    QHash<QByteArray, QString> replyTo; // by recipient wire address; missing: accepted
    // Outcomes the texts can't say (NotSent, Uncertain), by recipient; each
    // is used once, before replyTo.
    QHash<QByteArray, QList<MessageResult>> outcomesTo;
    // Called once a message's data has been marked as going, with its
    // recipient (a test can kill or stop the run there).
    std::function<void(const QByteArray &)> onData;

    TransportSettings settings; // of the last transport made
    QList<Call> calls;
    int popChecks = 0;
    int ends = 0;

    decltype(SendRunEnvironment::makeTransport) factory();
    QByteArrayList recipients() const;
};
