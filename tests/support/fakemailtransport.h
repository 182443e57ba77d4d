#pragma once
// A transport the test scripts: the reply for each recipient, the POP
// check's result, and a record of every call. factory() goes into
// SendRunEnvironment::makeTransport; the transports it makes report here.

#include "mailtransport.h"
#include "sendrun.h"

#include <QHash>
#include <QList>
#include <QVariantList>
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

    TransportSettings settings; // of the last transport made
    QList<Call> calls;
    int popChecks = 0;
    int ends = 0;

    decltype(SendRunEnvironment::makeTransport) factory();
    QByteArrayList recipients() const;
};
