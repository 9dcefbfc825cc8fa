#pragma once
// XOAUTH2 and OAUTHBEARER as mechanisms of a Pop3AuthExchange. The AUTH
// line names the mechanism alone and the access token follows the server's
// "+", whatever its length: real tokens are far longer than the 255 octets
// an AUTH line may hold, and Outlook refuses the one-line form. A refused
// token comes back as a "+" challenge with the status in JSON; it is
// answered with an empty message (XOAUTH2) or %x01 (OAUTHBEARER) so that
// the server's "-ERR" follows.

#include "pop3/Pop3AuthExchange.h"

#include <QString>

namespace Pop3TokenMechanism {

// `host` and `port` as typed: OAUTHBEARER names them to the server.
Pop3AuthExchange::Mechanism make(Pop3SignIn::Method method, const QString &user, const QString &host, int port,
                                 const QString &accessToken);

} // namespace Pop3TokenMechanism
