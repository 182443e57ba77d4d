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
    QString finish() override { return m_fake.replyTo.value(m_fake.calls.last().envelope.to.wire); }
    void end() override { ++m_fake.ends; }

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
