#pragma once
// The tokens of this run of the program, in memory only, per sign-in
// service and user: the access token until shortly before it expires, and
// the refresh token (also when the keyring cannot keep it, so that a run
// signs in in the browser at most once).

#include "net/OAuthResult.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QString>

class OAuthTokenCache
{
public:
    // An access token this close to its end is refreshed before a login.
    static constexpr qint64 MarginSeconds = 60;
    // How long an access token whose lifetime the service did not say is used.
    static constexpr qint64 UnknownLifetimeSeconds = 600;

    // The access token, when it lives for at least MarginSeconds more.
    QString accessToken(const QString &provider, const QString &user) const;
    QString refreshToken(const QString &provider, const QString &user) const;

    // Keeps new tokens; a refresh token in them replaces the old one, none
    // keeps it.
    void keep(const QString &provider, const QString &user, const OAuthTokens &tokens);
    void keepRefreshToken(const QString &provider, const QString &user, const QString &refreshToken);
    // The server refused the access token: it is not offered again.
    void dropAccessToken(const QString &provider, const QString &user);
    void forget(const QString &provider, const QString &user);

private:
    struct Entry
    {
        QString accessToken;
        QDeadlineTimer expiry;
        QString refreshToken;
    };
    static QString key(const QString &provider, const QString &user);

    QHash<QString, Entry> m_entries;
};
