// The steps of an AUTH exchange and how each reply moves it on.

#include "pop3/Pop3AuthExchange.h"

#include "base/VbHelpers.h"
#include "net/SaslClient.h"
#include "pop3/Pop3ReplyReader.h"

using namespace Pop3SignIn;

namespace {

// Mechanisms whose first message is itself the proof of the password (or
// token): a bare "-ERR" to it may be the credentials' refusal.
bool firstMessageIsProof(Method method)
{
    return method == Method::Plain || method == Method::XOAuth2 || method == Method::OAuthBearer;
}

} // namespace

Pop3AuthExchange::Pop3AuthExchange(Method method, Mechanism mechanism)
    : m_method(method)
    , m_mechanism(std::move(mechanism))
{
}

QString Pop3AuthExchange::start()
{
    QByteArray initial;
    const Answer answer = m_mechanism(QByteArray(), &initial);
    if (answer == Answer::Garbled || answer == Answer::Unproven) {
        m_outcome = Outcome::Broken;
        m_error = QStringLiteral("The sign-in could not be started.");
        return QString();
    }
    m_done = answer == Answer::Done;
    // A mechanism that waits for the server (CRAM-MD5) starts bare.
    if (initial.isEmpty() && !m_done)
        return QStringLiteral("AUTH ") + methodName(m_method) + vb::CrLf;
    bool onLine = false;
    const QString line = authLine(m_method, initial, &onLine);
    m_proofOnAuthLine = onLine && firstMessageIsProof(m_method);
    if (!onLine) {
        m_pendingInitial = initial;
        m_initialPending = true;
    }
    return line;
}

QString Pop3AuthExchange::handleReply(const QString &reply)
{
    if (m_outcome != Outcome::Going)
        return QString();
    if (Pop3ReplyReader::isError(reply)) {
        endWithError(reply);
        return QString();
    }
    if (reply.startsWith(QLatin1String("+OK"), Qt::CaseInsensitive)) {
        acceptance();
        return QString();
    }
    if (m_cancelled || !isContinuation(reply))
        return cancel(Outcome::Broken, QStringLiteral("The mail server's reply made no sense: ") + reply.trimmed());
    return answerChallenge(reply);
}

void Pop3AuthExchange::acceptance()
{
    if (m_done && !m_cancelled) {
        m_outcome = Outcome::SignedIn;
        return;
    }
    // A SCRAM server that skips its signature, or one that takes a
    // cancelled exchange: nothing proves it is the server the user knows.
    m_outcome = Outcome::Unproven;
    m_error = m_cancelled ? QStringLiteral("The mail server accepted a sign-in that Mailvane had cancelled.")
                          : QStringLiteral("The mail server accepted the sign-in without proving that it knows "
                                           "your password.");
}

QString Pop3AuthExchange::answerChallenge(const QString &reply)
{
    m_challenged = true;
    if (m_initialPending) {
        // The "+" that invites the initial response kept off the AUTH line.
        m_initialPending = false;
        return responseLine(m_pendingInitial);
    }
    bool valid = false;
    const QByteArray challenge = challengeOf(reply, &valid);
    if (!valid)
        return cancel(Outcome::Broken, QStringLiteral("The mail server's challenge was not base64: ") + reply.trimmed());
    QByteArray message;
    switch (m_mechanism(challenge, &message)) {
    case Answer::Respond:
        return responseLine(message);
    case Answer::Done:
        m_done = true;
        return responseLine(message);
    case Answer::Garbled:
        return cancel(Outcome::Broken, QStringLiteral("The mail server's challenge made no sense."));
    case Answer::Unproven:
        return cancel(Outcome::Unproven, QStringLiteral("The mail server could not prove that it knows your password."));
    }
    return QString();
}

QString Pop3AuthExchange::cancel(Outcome outcome, const QString &error)
{
    m_afterCancel = outcome;
    m_error = error;
    if (m_cancelled) {
        // Still no "-ERR" to the cancellation: give up waiting for one.
        m_outcome = outcome;
        return QString();
    }
    m_cancelled = true;
    return cancelLine();
}

void Pop3AuthExchange::endWithError(const QString &reply)
{
    if (m_cancelled) {
        m_outcome = m_afterCancel;
        return;
    }
    // Only a refusal of the AUTH line itself can say the mechanism is unknown.
    const bool toAuthLine = !m_challenged;
    m_outcome = toAuthLine && refusesMechanism(reply, m_proofOnAuthLine) ? Outcome::Unsupported : Outcome::Refused;
}

Pop3AuthExchange::Mechanism Pop3AuthExchange::saslMechanism(SaslClient *client)
{
    return [client](const QByteArray &challenge, QByteArray *message) {
        switch (client->step(challenge, message)) {
        case SaslClient::Step::Continue:
            return Answer::Respond;
        case SaslClient::Step::Done:
            return Answer::Done;
        case SaslClient::Step::Failed:
            break;
        }
        return client->serverNotProven() ? Answer::Unproven : Answer::Garbled;
    };
}
