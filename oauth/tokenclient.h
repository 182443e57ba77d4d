#pragma once
// The token endpoint (RFC 6749) and the device authorisation endpoint
// (RFC 8628) over libcurl: form posts with the system's certificates and the
// account's extra CA file, replies bounded in size and time. Blocking: call
// it off the window's thread.

#include "oauthprovider.h"

#include <QString>
#include <atomic>
#include <memory>

struct OAuthTokens {
    QString accessToken;
    QString refreshToken; // "" when the provider keeps the one it had issued
    qint64 expiresIn = 0; // seconds; 0 when not said
    // The address the sign-in was for, from the ID token (email,
    // preferred_username or upn); "" when there is none.
    QString signedInAddress;
};

struct TokenReply {
    enum class Status {
        Ok,
        OAuthError, // the endpoint answered with an OAuth error (error holds its code)
        Failed,     // no usable answer: unreachable, not JSON, a server error, no token
    };
    Status status = Status::Failed;
    OAuthTokens tokens;
    QString error;       // "invalid_grant", "authorization_pending", ...
    QString description; // the provider's error_description, or what went wrong

    bool ok() const { return status == Status::Ok; }
    // The provider no longer honours the sign-in: the user signs in again.
    bool signInExpired() const;
    // One line for the user, in Japanese, with the provider's own words.
    QString message() const;
};

// How a sign-in in the browser or on another device ended.
struct SignInResult {
    enum class Status {
        Ok,
        TimedOut,   // the browser never came back, or the code expired
        WrongState, // a redirect that does not answer this request: refused
        Denied,     // the user or the provider said no (access_denied)
        Failed,     // the provider's error, or no usable token
        Cancelled,
    };
    Status status = Status::Failed;
    OAuthTokens tokens;
    QString message; // for the user, in Japanese; "" on success

    bool ok() const { return status == Status::Ok; }
};

// The start of a device sign-in: what the user is shown, and what the
// program polls with.
struct DeviceStart {
    QString deviceCode;
    QString userCode;
    QString verificationUri;
    QString verificationUriComplete; // "" when not offered
    int intervalSeconds = 5;
    int expiresInSeconds = 900;
    QString failure; // "" when it started
};

class TokenClient {
public:
    explicit TokenClient(OAuthClientConfig config);
    ~TokenClient();

    TokenReply exchangeCode(const QString &code, const QByteArray &verifier, const QString &redirectUri);
    TokenReply refresh(const QString &refreshToken);
    DeviceStart startDevice();
    TokenReply pollDevice(const QString &deviceCode);

    // From any thread: the request in progress ends, and every later one.
    void abort();
    bool aborted() const { return m_aborted; }

    const OAuthClientConfig &config() const { return m_config; }

    // A reply's body as the token endpoint gave it, read the way requests
    // read it (for tests of odd replies).
    static TokenReply parseTokenReply(long httpStatus, const QByteArray &body);

private:
    struct HttpResult {
        long status = 0;
        QByteArray body;
        QString failure; // "" when an answer came
    };
    HttpResult post(const QString &url, QList<QPair<QString, QString>> form);
    TokenReply tokenPost(const QString &url, const QList<QPair<QString, QString>> &form);
    OAuthClientConfig m_config;
    std::atomic<bool> m_aborted{false};
};

// The address an ID token names (its payload is read, not verified: it came
// from the token endpoint itself, over TLS).
QString addressInIdToken(const QString &idToken);
