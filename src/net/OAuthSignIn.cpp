// Getting an access token: memory, refresh, browser, in that order.

#include "net/OAuthSignIn.h"

#include "net/OAuthAuthorization.h"
#include "net/OAuthTokenEndpoint.h"
#include "net/OAuthTokenStore.h"

#include <QTimer>

namespace {

OAuthError signInNeeded(const OAuthProvider &provider, const QString &user, const QString &why)
{
    OAuthError error;
    error.kind = OAuthError::Kind::SignInNeeded;
    error.message = QStringLiteral("%1 needs you to sign in with %2 again: %3 Log in from Mailvane's window to sign "
                                   "in in the browser.")
                        .arg(user.trimmed(), provider.id, why);
    return error;
}

} // namespace

OAuthSignIn::OAuthSignIn(QObject *parent)
    : QObject(parent)
    , m_store(new OAuthTokenStore(this))
    , m_endpoint(new OAuthTokenEndpoint(this))
    , m_browserTimeoutMs(OAuthAuthorization::DefaultBrowserTimeoutMs)
    , m_tokenTimeoutMs(OAuthTokenEndpoint::DefaultTimeoutMs)
{
    connect(m_store, &OAuthTokenStore::unusable, this, &OAuthSignIn::keyringUnavailable);
    connect(m_endpoint, &OAuthTokenEndpoint::succeeded, this, &OAuthSignIn::keepTokens);
    connect(m_endpoint, &OAuthTokenEndpoint::failed, this, &OAuthSignIn::onRefreshFailed);
}

OAuthSignIn::~OAuthSignIn()
{
    end();
}

void OAuthSignIn::setTokenTimeout(int milliseconds)
{
    m_tokenTimeoutMs = milliseconds;
    m_endpoint->setTimeout(milliseconds);
}

void OAuthSignIn::setKeyringTimeout(int milliseconds)
{
    m_store->setTimeout(milliseconds);
}

bool OAuthSignIn::isWaitingForBrowser() const
{
    return m_browser && m_browser->isRunning();
}

void OAuthSignIn::requestToken(const OAuthProvider &provider, const QString &user, Mode mode)
{
    end();
    m_busy = true;
    const quint64 request = ++m_request;
    m_provider = provider;
    m_user = user.trimmed();
    m_mode = mode;
    const QString accessToken = m_cache.accessToken(provider.id, m_user);
    if (!accessToken.isEmpty()) {
        QTimer::singleShot(0, this, [this, request, accessToken] {
            if (current(request))
                ready(accessToken);
        });
        return;
    }
    const QString refreshToken = m_cache.refreshToken(provider.id, m_user);
    if (!refreshToken.isEmpty()) {
        QTimer::singleShot(0, this, [this, request, refreshToken] {
            if (current(request))
                refresh(refreshToken);
        });
        return;
    }
    m_store->read(provider, m_user, this, [this, request](const QString &stored) {
        if (!current(request))
            return;
        if (stored.isEmpty()) {
            signInInBrowser();
            return;
        }
        m_cache.keepRefreshToken(m_provider.id, m_user, stored);
        refresh(stored);
    });
}

void OAuthSignIn::tokenRefused(const OAuthProvider &provider, const QString &user)
{
    m_cache.dropAccessToken(provider.id, user);
}

void OAuthSignIn::cancel()
{
    if (!m_busy)
        return;
    OAuthError error;
    error.kind = OAuthError::Kind::Cancelled;
    error.message = QStringLiteral("The sign-in was cancelled.");
    fail(error);
}

void OAuthSignIn::browserNotStarted()
{
    if (m_browser)
        m_browser->browserNotStarted();
}

void OAuthSignIn::refresh(const QString &refreshToken)
{
    m_endpoint->refresh(m_provider, refreshToken);
}

void OAuthSignIn::onRefreshFailed(const OAuthError &error)
{
    if (error.kind != OAuthError::Kind::InvalidGrant) {
        fail(error);
        return;
    }
    // The refresh token is dead: it goes from memory and keyring before
    // anything else happens.
    m_cache.forget(m_provider.id, m_user);
    const quint64 request = m_request;
    m_store->remove(m_provider, m_user, this, [this, request, error](bool, const QString &) {
        if (!current(request))
            return;
        if (m_mode == Mode::Silent)
            fail(signInNeeded(m_provider, m_user, error.message));
        else
            signInInBrowser();
    });
}

void OAuthSignIn::signInInBrowser()
{
    if (m_mode == Mode::Silent) {
        fail(signInNeeded(m_provider, m_user, QStringLiteral("no sign-in is kept for this user.")));
        return;
    }
    auto *browser = new OAuthAuthorization(m_provider, m_user, this);
    m_browser = browser;
    browser->setBrowserTimeout(m_browserTimeoutMs);
    browser->setTokenTimeout(m_tokenTimeoutMs);
    connect(browser, &OAuthAuthorization::openBrowser, this, &OAuthSignIn::openBrowser);
    connect(browser, &OAuthAuthorization::succeeded, this, &OAuthSignIn::keepTokens);
    connect(browser, &OAuthAuthorization::failed, this, &OAuthSignIn::fail);
    browser->start();
}

void OAuthSignIn::keepTokens(const OAuthTokens &tokens)
{
    if (!m_busy)
        return;
    m_cache.keep(m_provider.id, m_user, tokens);
    if (tokens.refreshToken.isEmpty()) {
        ready(tokens.accessToken);
        return;
    }
    // A new (or rotated) refresh token replaces the stored one at once.
    const quint64 request = m_request;
    m_store->write(m_provider, m_user, tokens.refreshToken, this, [this, request, tokens](bool) {
        if (current(request))
            ready(tokens.accessToken);
    });
}

void OAuthSignIn::ready(const QString &accessToken)
{
    end();
    emit tokenReady(accessToken);
}

void OAuthSignIn::fail(const OAuthError &error)
{
    end();
    emit failed(error);
}

void OAuthSignIn::end()
{
    m_busy = false;
    m_endpoint->abort();
    if (m_browser) {
        OAuthAuthorization *browser = m_browser;
        m_browser.clear();
        browser->disconnect(this);
        browser->cancel();
        browser->deleteLater();
    }
}

void OAuthSignIn::forget(const OAuthProvider &provider, const QString &user)
{
    m_cache.forget(provider.id, user);
    const QString name = user.trimmed();
    m_store->remove(provider, name, this, [this, provider, name](bool removed, const QString &problem) {
        if (removed) {
            emit forgotten(true, QStringLiteral("Mailvane has forgotten the sign-in of %1 with %2.").arg(name, provider.id));
        } else {
            emit forgotten(false, QStringLiteral("Mailvane has forgotten the sign-in of %1 with %2 for this run, but "
                                                 "the desktop's keyring could not remove it (%3).")
                                      .arg(name, provider.id, problem));
        }
    });
}
