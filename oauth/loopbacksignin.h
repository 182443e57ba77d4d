#pragma once
// Sign-in through the system browser (RFC 8252): the authorisation-code flow
// with PKCE (RFC 7636), the browser sent back to a port on 127.0.0.1 that
// this object listens on for one answer. Everything, from listening to
// redeeming the code, runs on the calling thread and blocks: run it off the
// window's thread.

#include "tokenclient.h"

#include <QUrl>
#include <atomic>
#include <functional>

class LoopbackSignIn {
public:
    static constexpr int kWaitMs = 5 * 60 * 1000;

    explicit LoopbackSignIn(OAuthClientConfig config);
    ~LoopbackSignIn();

    // Listens, hands the authorisation request to openBrowser (from this
    // thread), waits for the browser at most waitMs and redeems the code.
    SignInResult run(const std::function<void(const QUrl &)> &openBrowser, int waitMs = kWaitMs);
    // From any thread: the wait or the request in progress ends.
    void cancel();

    // The request the browser is sent with, for a redirect URI and the
    // values this sign-in made up (for tests of the request's form).
    static QUrl authorizationUrl(const OAuthClientConfig &config, const QString &redirectUri, const QByteArray &state,
                                 const QByteArray &challenge);

private:
    OAuthClientConfig m_config;
    TokenClient m_tokens;
    std::atomic<bool> m_cancelled{false};
};
