#pragma once
// One sign-in in the browser (OAuth 2.0 authorization code with PKCE, RFC
// 6749, 7636, 8252): builds the authorization URL with a fresh code
// verifier and state, asks for it to be opened in the browser (openBrowser;
// Mailvane's core never opens anything itself), waits for the redirect to
// its loopback listener, and exchanges the code for tokens. Ends with
// exactly one of succeeded() and failed(); cancel() and the silence of the
// browser end it too.
//
// Delete it with deleteLater() from a slot of its own signals.

#include "net/LoopbackRedirectListener.h"
#include "net/OAuthProvider.h"
#include "net/OAuthResult.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

class OAuthTokenEndpoint;

class OAuthAuthorization : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultBrowserTimeoutMs = 5 * 60 * 1000;

    OAuthAuthorization(const OAuthProvider &provider, const QString &user, QObject *parent = nullptr);
    ~OAuthAuthorization() override;

    // How long the browser may stay silent; the token endpoint's own wait.
    void setBrowserTimeout(int milliseconds) { m_browserTimeoutMs = milliseconds; }
    void setTokenTimeout(int milliseconds);

    // Listens, then emits openBrowser().
    void start();
    // Ends the sign-in: failed() with Kind::Cancelled. Nothing after that.
    void cancel();
    // The one who was to open the browser could not: failed().
    void browserNotStarted();
    bool isRunning() const { return m_running; }

    // The URL the browser was sent to, once started.
    QUrl authorizationUrl() const { return m_url; }
    QString redirectUri() const;

    // The provider's authorization URL with the request's fields added
    // (its own query kept): response_type, client_id, redirect_uri, scope,
    // state, code_challenge, code_challenge_method=S256, login_hint.
    static QUrl authorizationUrl(const OAuthProvider &provider, const QString &user, const QString &redirectUri,
                                 const QByteArray &state, const QByteArray &codeChallenge);

signals:
    void openBrowser(const QUrl &url);
    void succeeded(const OAuthTokens &tokens);
    void failed(const OAuthError &error);

private:
    void onRedirected(const LoopbackRedirectListener::Redirect &redirect);
    void onTokens(const OAuthTokens &tokens);
    void finish(OAuthError::Kind kind, const QString &message);
    void stop();

    OAuthProvider m_provider;
    QString m_user;
    LoopbackRedirectListener m_listener;
    OAuthTokenEndpoint *m_endpoint;
    QTimer m_browserTimer;
    int m_browserTimeoutMs = DefaultBrowserTimeoutMs;
    QByteArray m_verifier;
    QUrl m_url;
    bool m_running = false;
};
