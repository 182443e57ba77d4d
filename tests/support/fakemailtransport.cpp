#include "fakemailtransport.h"

namespace {

class Transport : public MailTransport {
public:
    explicit Transport(FakeMailTransport &fake) : m_fake(fake) {}
    QVariant checkPop() override
    {
        ++m_fake.popChecks;
        return m_fake.popResult;
    }
    void start(const Envelope &envelope, const QByteArray &message, const Envelope *next) override
    {
        m_fake.calls.append({envelope, message, next ? std::optional(next->to.wire) : std::nullopt});
    }
    MessageResult finish() override
    {
        const QByteArray to = m_fake.calls.last().envelope.to.wire;
        QList<MessageResult> &scripted = m_fake.outcomesTo[to];
        const MessageResult r = scripted.isEmpty() ? MessageResult::fromReply(m_fake.replyTo.value(to))
                                                   : scripted.takeFirst();
        // The data goes only where the server got as far as the message.
        using Kind = MessageResult::Kind;
        if (r.kind == Kind::Accepted || r.kind == Kind::Uncertain) {
            if (!dataMayGo())
                return {Kind::NotSent, QStringLiteral("held back")};
            if (m_fake.onData)
                m_fake.onData(to);
        }
        return r;
    }
    void end() override { ++m_fake.ends; }
    void abort() override {}

private:
    FakeMailTransport &m_fake;
};

} // namespace

decltype(SendRunEnvironment::makeTransport) FakeMailTransport::factory()
{
    return [this](const TransportSettings &s) {
        settings = s;
        return std::make_unique<Transport>(*this);
    };
}

QByteArrayList FakeMailTransport::recipients() const
{
    QByteArrayList out;
    for (const Call &c : calls)
        out << c.envelope.to.wire;
    return out;
}
