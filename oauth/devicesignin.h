#pragma once
// Sign-in on another device (RFC 8628): the program shows an address and a
// code, the user signs in there, and the program polls the token endpoint at
// the pace the provider asks for until it answers. Blocking.

#include "tokenclient.h"

#include <condition_variable>
#include <mutex>

class DeviceSignIn {
public:
    explicit DeviceSignIn(OAuthClientConfig config);

    DeviceStart start();
    // Polls until the user has signed in, said no, or the code expired.
    SignInResult wait(const DeviceStart &started);
    // From any thread.
    void cancel();

private:
    // Sleeps s seconds unless cancelled first; false when cancelled.
    bool sleep(int seconds);
    TokenClient m_tokens;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_cancelled = false;
};
