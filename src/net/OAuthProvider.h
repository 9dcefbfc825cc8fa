#pragma once
// One OAuth 2.0 sign-in service for mail servers: where the browser signs
// in, where codes and refresh tokens become access tokens, the client id
// (and, where the service insists, the client secret) Mailvane is
// registered under, the scope it asks for, the SASL mechanism
// that carries the token, and the servers it applies to. Microsoft's and
// Google's services are presets of this record; the settings file may name
// others and override any field of the presets (OAuthProviders reads it).

#include <QString>
#include <QStringList>
#include <QUrl>

enum class OAuthMechanism { XOAuth2, OAuthBearer };

struct OAuthProvider
{
    QString id; // "Microsoft", "Google", or the name of its settings section
    QUrl authorizationUrl;
    QUrl tokenUrl;
    QString clientId;
    // Sent only when set. Microsoft refuses one from a desktop client;
    // Google's "Desktop app" clients must send theirs, which Google issues
    // to every copy of a program and does not treat as a secret.
    QString clientSecret;
    bool needsClientSecret = false;
    QString scope;
    OAuthMechanism mechanism = OAuthMechanism::XOAuth2;
    // "host" (any port) or "host:port", lower case.
    QStringList servers;
    // Also when a password is typed: the servers refuse passwords.
    bool always = false;

    bool isNull() const { return id.isEmpty(); }
    bool appliesTo(const QString &host, int port) const;

    static OAuthProvider microsoft();
    static OAuthProvider google();

    // "XOAUTH2", "OAUTHBEARER": the SASL names.
    static QString mechanismName(OAuthMechanism mechanism);
    // Any letter case; false for another name.
    static bool mechanismFromName(const QString &name, OAuthMechanism *mechanism);
    // Trimmed, lower case, without the trailing dot of a rooted name.
    static QString normalHost(const QString &host);
};
