// One AUTH exchange with an access token, reply by reply.

#include "pop3/Pop3TokenExchange.h"

#include "base/VbHelpers.h"
#include "pop3/Pop3ReplyReader.h"

Pop3TokenExchange::Pop3TokenExchange(Pop3SignIn::Method method, const QString &user, const QString &host, int port,
                                     const QString &accessToken)
    : m_method(method)
    , m_message(method == Pop3SignIn::Method::OAuthBearer
                    ? Pop3SignIn::oauthBearerMessage(user, host, port, accessToken)
                    : Pop3SignIn::xoauth2Message(user, accessToken))
{
}

QString Pop3TokenExchange::authLine() const
{
    return QStringLiteral("AUTH ") + Pop3SignIn::methodName(m_method) + vb::CrLf;
}

Pop3TokenExchange::Step Pop3TokenExchange::finish(Outcome outcome)
{
    m_state = State::Done;
    return {outcome, QString()};
}

Pop3TokenExchange::Step Pop3TokenExchange::reply(const QString &reply)
{
    const bool error = Pop3ReplyReader::isError(reply);
    const bool challenge = Pop3SignIn::isContinuation(reply);
    switch (m_state) {
    case State::AuthSent:
        if (challenge) {
            m_state = State::TokenSent;
            return {Outcome::Send, Pop3SignIn::responseLine(m_message)};
        }
        return finish(error ? Outcome::NotSupported : Outcome::Broken);
    case State::TokenSent:
        if (challenge) {
            // The refusal's details; whatever they say, the answer is the same.
            m_state = State::RefusalAnswered;
            const QByteArray answer = m_method == Pop3SignIn::Method::OAuthBearer ? QByteArray("\x01") : QByteArray();
            return {Outcome::Send, Pop3SignIn::responseLine(answer)};
        }
        if (error)
            return finish(Outcome::Refused);
        return finish(reply.startsWith(QLatin1String("+OK"), Qt::CaseInsensitive) ? Outcome::SignedIn
                                                                                    : Outcome::Broken);
    case State::RefusalAnswered:
        return finish(error ? Outcome::Refused : Outcome::Broken);
    case State::Done:
        break;
    }
    return finish(Outcome::Broken);
}
