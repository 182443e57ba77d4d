#pragma once
// Proof Key for Code Exchange (RFC 7636) and the state parameter: random
// texts from the system's secure generator.

#include <QByteArray>

namespace pkce {

// 43 characters of base64url over 32 random bytes.
QByteArray makeVerifier();
// S256: base64url of the verifier's SHA-256, without padding.
QByteArray challengeOf(const QByteArray &verifier);
// The state that ties a redirect to its request.
QByteArray makeState();

} // namespace pkce
