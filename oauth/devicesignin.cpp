#include "devicesignin.h"

#include <QDeadlineTimer>
#include <chrono>

DeviceSignIn::DeviceSignIn(OAuthClientConfig config) : m_tokens(std::move(config)) {}

DeviceStart DeviceSignIn::start()
{
    return m_tokens.startDevice();
}

void DeviceSignIn::cancel()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_cancelled = true;
    }
    m_tokens.abort();
    m_wake.notify_all();
}

bool DeviceSignIn::sleep(int seconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return !m_wake.wait_for(guard, std::chrono::seconds(seconds), [this] { return m_cancelled; });
}

SignInResult DeviceSignIn::wait(const DeviceStart &started)
{
    using S = SignInResult::Status;
    SignInResult r;
    int interval = std::max(1, started.intervalSeconds);
    QDeadlineTimer deadline(std::chrono::seconds(started.expiresInSeconds));
    while (true) {
        if (!sleep(interval)) {
            r.status = S::Cancelled;
            r.message = QStringLiteral("サインインを中止しました。");
            return r;
        }
        const TokenReply reply = m_tokens.pollDevice(started.deviceCode);
        if (reply.ok()) {
            r.status = S::Ok;
            r.tokens = reply.tokens;
            return r;
        }
        if (reply.status == TokenReply::Status::OAuthError) {
            if (reply.error == QLatin1String("authorization_pending"))
                ;
            else if (reply.error == QLatin1String("slow_down"))
                interval += 5; // RFC 8628 3.5
            else if (reply.error == QLatin1String("access_denied")) {
                r.status = S::Denied;
                r.message = QStringLiteral("サインインが拒否されました（access_denied）。");
                return r;
            } else if (reply.error == QLatin1String("expired_token")) {
                r.status = S::TimedOut;
                r.message = QStringLiteral(
                    "コードの有効期限が切れました。もう一度 quillpost login を実行してください。");
                return r;
            } else {
                r.status = S::Failed;
                r.message = reply.message();
                return r;
            }
        } else {
            r.status = m_tokens.aborted() ? S::Cancelled : S::Failed;
            r.message = reply.message();
            return r;
        }
        if (deadline.hasExpired()) {
            r.status = S::TimedOut;
            r.message = QStringLiteral("コードの有効期限が切れました。もう一度 quillpost login を実行してください。");
            return r;
        }
    }
}
