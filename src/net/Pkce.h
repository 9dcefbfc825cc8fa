#pragma once
// Proof Key for Code Exchange (RFC 7636, method S256) and the other random
// values of an OAuth 2.0 sign-in: a code verifier that only this sign-in
// knows, its challenge for the authorization URL, and the `state` that ties
// the browser's redirect to this request.

#include <QByteArray>

namespace Pkce {

// base64url without padding of `octets` random octets from the system's
// secure source (32 octets: 43 characters).
QByteArray randomText(int octets = 32);
// A fresh code verifier (43 characters, within RFC 7636's 43 to 128).
QByteArray newVerifier();
// base64url(SHA-256(verifier)) without padding.
QByteArray challenge(const QByteArray &verifier);

} // namespace Pkce
