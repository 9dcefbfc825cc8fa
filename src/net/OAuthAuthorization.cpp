// The browser's part of a sign-in and the code exchange after it.

#include "net/OAuthAuthorization.h"

#include "net/OAuthTokenEndpoint.h"
#include "net/Pkce.h"

namespace {

OAuthError error(OAuthError::Kind kind, const QString &message)
{
    OAuthError result;
    result.kind = kind;
    result.message = message;
    return result;
}

} // namespace

OAuthAuthorization::OAuthAuthorization(const OAuthProvider &provider, const QString &user, QObject *parent)
    : QObject(parent)
    , m_provider(provider)
    , m_user(user)
    , m_endpoint(new OAuthTokenEndpoint(this))
{
    m_browserTimer.setSingleShot(true);
    connect(&m_browserTimer, &QTimer::timeout, this, [this] {
        finish(OAuthError::Kind::BrowserSilent,
               QStringLiteral("Nobody signed in in the browser within %1; Mailvane gave up waiting.")
                   .arg(waitText(m_browserTimeoutMs)));
    });
    connect(&m_listener, &LoopbackRedirectListener::redirected, this, &OAuthAuthorization::onRedirected);
    connect(m_endpoint, &OAuthTokenEndpoint::succeeded, this, &OAuthAuthorization::onTokens);
    connect(m_endpoint, &OAuthTokenEndpoint::failed, this, [this](const OAuthError &failure) {
        stop();
        emit failed(failure);
    });
}

OAuthAuthorization::~OAuthAuthorization()
{
    stop();
}

void OAuthAuthorization::setTokenTimeout(int milliseconds)
{
    m_endpoint->setTimeout(milliseconds);
}

QString OAuthAuthorization::redirectUri() const
{
    return m_listener.redirectUri();
}

void OAuthAuthorization::start()
{
    stop();
    const QByteArray state = Pkce::randomText();
    m_verifier = Pkce::newVerifier();
    if (!m_listener.listen(state)) {
        emit failed(error(OAuthError::Kind::Setup,
                          QStringLiteral("Mailvane cannot wait for the browser's answer on this computer: %1")
                              .arg(m_listener.errorString())));
        return;
    }
    m_running = true;
    m_url = authorizationUrl(m_provider, m_user, m_listener.redirectUri(), state, Pkce::challenge(m_verifier));
    m_browserTimer.start(m_browserTimeoutMs);
    emit openBrowser(m_url);
}

void OAuthAuthorization::cancel()
{
    if (m_running)
        finish(OAuthError::Kind::Cancelled, QStringLiteral("The sign-in was cancelled."));
}

void OAuthAuthorization::browserNotStarted()
{
    if (m_running) {
        finish(OAuthError::Kind::BrowserNotStarted,
               QStringLiteral("The web browser could not be started to sign in with %1.").arg(m_provider.id));
    }
}

void OAuthAuthorization::stop()
{
    m_running = false;
    m_browserTimer.stop();
    m_listener.close();
    m_endpoint->abort();
}

void OAuthAuthorization::finish(OAuthError::Kind kind, const QString &message)
{
    stop();
    emit failed(error(kind, message));
}

void OAuthAuthorization::onRedirected(const LoopbackRedirectListener::Redirect &redirect)
{
    using Kind = LoopbackRedirectListener::Redirect::Kind;
    m_browserTimer.stop();
    switch (redirect.kind) {
    case Kind::Code:
        m_endpoint->exchangeCode(m_provider, redirect.code, m_listener.redirectUri(), m_verifier);
        return;
    case Kind::ConsentRefused:
        finish(OAuthError::Kind::ConsentRefused,
               QStringLiteral("The sign-in with %1 was refused in the browser: Mailvane was not allowed to read the "
                              "mailbox.")
                   .arg(m_provider.id));
        return;
    case Kind::StateMismatch:
        finish(OAuthError::Kind::StateMismatch,
               QStringLiteral("The browser came back with the answer to another sign-in request (its state does not "
                              "match this one), so Mailvane did not use it. Please log in again."));
        return;
    case Kind::Error:
    case Kind::NotRedirect:
        finish(OAuthError::Kind::Redirect,
               QStringLiteral("The sign-in with %1 failed in the browser: %2").arg(m_provider.id, redirect.detail));
        return;
    }
}

void OAuthAuthorization::onTokens(const OAuthTokens &tokens)
{
    stop();
    emit succeeded(tokens);
}

QUrl OAuthAuthorization::authorizationUrl(const OAuthProvider &provider, const QString &user,
                                          const QString &redirectUri, const QByteArray &state,
                                          const QByteArray &codeChallenge)
{
    FormUrlEncoding::Fields fields = {{QStringLiteral("response_type"), QStringLiteral("code")},
                                      {QStringLiteral("client_id"), provider.clientId},
                                      {QStringLiteral("redirect_uri"), redirectUri},
                                      {QStringLiteral("scope"), provider.scope},
                                      {QStringLiteral("state"), QString::fromLatin1(state)},
                                      {QStringLiteral("code_challenge"), QString::fromLatin1(codeChallenge)},
                                      {QStringLiteral("code_challenge_method"), QStringLiteral("S256")}};
    if (!user.trimmed().isEmpty())
        fields.append({QStringLiteral("login_hint"), user.trimmed()});
    QUrl url = provider.authorizationUrl;
    QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    if (!query.isEmpty())
        query += '&';
    url.setQuery(QString::fromLatin1(query + FormUrlEncoding::encode(fields)), QUrl::StrictMode);
    return url;
}
