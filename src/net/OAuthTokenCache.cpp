// Tokens kept in memory for this run.

#include "net/OAuthTokenCache.h"

QString OAuthTokenCache::key(const QString &provider, const QString &user)
{
    return provider + u'\n' + user.trimmed();
}

QString OAuthTokenCache::accessToken(const QString &provider, const QString &user) const
{
    const auto found = m_entries.constFind(key(provider, user));
    if (found == m_entries.cend() || found->accessToken.isEmpty()
        || found->expiry.remainingTime() < MarginSeconds * 1000)
        return QString();
    return found->accessToken;
}

QString OAuthTokenCache::refreshToken(const QString &provider, const QString &user) const
{
    return m_entries.value(key(provider, user)).refreshToken;
}

void OAuthTokenCache::keep(const QString &provider, const QString &user, const OAuthTokens &tokens)
{
    Entry &entry = m_entries[key(provider, user)];
    entry.accessToken = tokens.accessToken;
    const qint64 lifetime = tokens.expiresIn < 0 ? UnknownLifetimeSeconds : tokens.expiresIn;
    entry.expiry = QDeadlineTimer(lifetime * 1000);
    if (!tokens.refreshToken.isEmpty())
        entry.refreshToken = tokens.refreshToken;
}

void OAuthTokenCache::keepRefreshToken(const QString &provider, const QString &user, const QString &refreshToken)
{
    m_entries[key(provider, user)].refreshToken = refreshToken;
}

void OAuthTokenCache::dropAccessToken(const QString &provider, const QString &user)
{
    const auto found = m_entries.find(key(provider, user));
    if (found != m_entries.end())
        found->accessToken.clear();
}

void OAuthTokenCache::forget(const QString &provider, const QString &user)
{
    m_entries.remove(key(provider, user));
}
