#pragma once
// What an OAuth 2.0 step ends with: the tokens a sign-in service issued, or
// why there are none, in words for the user.

#include <QMetaType>
#include <QString>

struct OAuthTokens
{
    QString accessToken;
    // Empty when the service issued none (a refresh that keeps the old one).
    QString refreshToken;
    // Seconds the access token lives, as the service said (bounded); -1
    // when it did not say.
    qint64 expiresIn = -1;
};

struct OAuthError
{
    enum class Kind {
        Cancelled,         // the user gave up waiting
        ConsentRefused,    // the browser came back with error=access_denied
        StateMismatch,     // the redirect answered another request
        BrowserSilent,     // nobody came back from the browser in time
        BrowserNotStarted, // the browser could not be opened
        Redirect,          // the redirect carried another error, or no code
        InvalidGrant,      // the code or refresh token is no longer valid
        Service,           // the token endpoint erred, was silent or unreadable
        Setup,             // Mailvane cannot listen for the redirect
        SignInNeeded,      // Silent mode: only the browser could help
    };
    Kind kind = Kind::Service;
    QString message;
};

// A wait in words for the messages: "5 minutes", "30 seconds", "1 second".
inline QString waitText(int milliseconds)
{
    if (milliseconds >= 120000 && milliseconds % 60000 == 0)
        return QStringLiteral("%1 minutes").arg(milliseconds / 60000);
    const int seconds = (milliseconds + 999) / 1000;
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

Q_DECLARE_METATYPE(OAuthTokens)
Q_DECLARE_METATYPE(OAuthError)
