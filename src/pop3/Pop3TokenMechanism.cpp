// The three turns of a token mechanism: nothing on the AUTH line, the
// token, then the answer to a refusal.

#include "pop3/Pop3TokenMechanism.h"

namespace Pop3TokenMechanism {

Pop3AuthExchange::Mechanism make(Pop3SignIn::Method method, const QString &user, const QString &host, int port,
                                 const QString &accessToken)
{
    const bool bearer = method == Pop3SignIn::Method::OAuthBearer;
    const QByteArray token = bearer ? Pop3SignIn::oauthBearerMessage(user, host, port, accessToken)
                                    : Pop3SignIn::xoauth2Message(user, accessToken);
    int turn = 0;
    return [bearer, token, turn](const QByteArray &, QByteArray *message) mutable {
        using Answer = Pop3AuthExchange::Answer;
        switch (turn++) {
        case 0:
            // No initial response: the AUTH line stays bare.
            message->clear();
            return Answer::Respond;
        case 1:
            *message = token;
            return Answer::Done;
        default:
            // The challenge reports the refusal; whatever it says, the answer
            // is the same.
            *message = bearer ? QByteArray("\x01") : QByteArray();
            return Answer::Respond;
        }
    };
}

} // namespace Pop3TokenMechanism
