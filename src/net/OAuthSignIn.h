#pragma once
// Access tokens for logins with OAuth 2.0, as quietly as possible: the
// access token of this run while it lives; else a refresh with the refresh
// token of this run or of the desktop's keyring; else (and when the service
// says invalid_grant) a sign-in in the browser, whose refresh token then
// goes to the keyring. In Silent mode (the tray's automatic check) the
// browser is never asked for: failed() with Kind::SignInNeeded instead.
//
// The window connects openBrowser() to its way of opening web pages and
// calls browserNotStarted() when that failed, shows failed() messages (and
// keyringUnavailable() once), and logs in when tokenReady() comes. One
// request at a time; a new one ends the one before without a signal.

#include "net/OAuthProvider.h"
#include "net/OAuthResult.h"
#include "net/OAuthTokenCache.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

class OAuthAuthorization;
class OAuthTokenEndpoint;
class OAuthTokenStore;

class OAuthSignIn : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Interactive, Silent };

    explicit OAuthSignIn(QObject *parent = nullptr);
    ~OAuthSignIn() override;

    // Tests shorten these; the defaults are OAuthAuthorization's,
    // OAuthTokenEndpoint's and OAuthTokenStore's.
    void setBrowserTimeout(int milliseconds) { m_browserTimeoutMs = milliseconds; }
    void setTokenTimeout(int milliseconds);
    void setKeyringTimeout(int milliseconds);

    // Answers with tokenReady() or failed(), never before it returns.
    void requestToken(const OAuthProvider &provider, const QString &user, Mode mode);
    // The server refused the access token just sent: the next request
    // refreshes it (the window retries its login once).
    void tokenRefused(const OAuthProvider &provider, const QString &user);
    // Ends a request: failed() with Kind::Cancelled.
    void cancel();
    // The browser could not be opened for the URL of openBrowser().
    void browserNotStarted();
    bool isBusy() const { return m_busy; }
    bool isWaitingForBrowser() const;

    // Forgets the user's sign-in with the service: this run's tokens and the
    // keyring's entry. Answers with forgotten().
    void forget(const OAuthProvider &provider, const QString &user);

signals:
    void openBrowser(const QUrl &url);
    void tokenReady(const QString &accessToken);
    void failed(const OAuthError &error);
    // Once per run, at the keyring's first failure; the sign-in goes on.
    void keyringUnavailable(const QString &message);
    // `ok` false: the keyring's entry may still be there (`message` says why).
    void forgotten(bool ok, const QString &message);

private:
    void refresh(const QString &refreshToken);
    void signInInBrowser();
    void onRefreshFailed(const OAuthError &error);
    void keepTokens(const OAuthTokens &tokens);
    void ready(const QString &accessToken);
    void fail(const OAuthError &error);
    void end();
    // A callback that still belongs to the request it was made for.
    bool current(quint64 request) const { return m_busy && request == m_request; }

    OAuthTokenCache m_cache;
    OAuthTokenStore *m_store;
    OAuthTokenEndpoint *m_endpoint;
    QPointer<OAuthAuthorization> m_browser;
    int m_browserTimeoutMs;
    int m_tokenTimeoutMs;
    OAuthProvider m_provider;
    QString m_user;
    Mode m_mode = Mode::Interactive;
    bool m_busy = false;
    quint64 m_request = 0;
};
