#pragma once
// The client's side of one POP3 AUTH exchange that carries an OAuth 2.0
// access token (XOAUTH2 or OAUTHBEARER). The AUTH line names the mechanism
// alone and the token follows the server's "+": real tokens are far longer
// than the 255 octets an AUTH line may hold, and Outlook refuses the
// one-line form. A refused token is not answered with "-ERR" at once but
// with a "+" challenge carrying the status in JSON; the client's answer to
// it (an empty line, or %x01 for OAUTHBEARER) brings the "-ERR".

#include "pop3/Pop3SignIn.h"

#include <QString>

class Pop3TokenExchange
{
public:
    enum class Outcome {
        Send,         // send `line`, then wait for the next reply
        SignedIn,     // +OK: the mailbox is open
        Refused,      // the server refused the token
        NotSupported, // -ERR to the AUTH line itself: not the token's fault
        Broken,       // a reply that has no place in the exchange
    };
    struct Step
    {
        Outcome outcome;
        QString line;
    };

    // `host` and `port` as typed: OAUTHBEARER names them to the server.
    Pop3TokenExchange(Pop3SignIn::Method method, const QString &user, const QString &host, int port,
                      const QString &accessToken);

    QString authLine() const;
    // What to do with the server's reply to the line sent last.
    Step reply(const QString &reply);

private:
    enum class State { AuthSent, TokenSent, RefusalAnswered, Done };
    Step finish(Outcome outcome);

    Pop3SignIn::Method m_method;
    QByteArray m_message;
    State m_state = State::AuthSent;
};
