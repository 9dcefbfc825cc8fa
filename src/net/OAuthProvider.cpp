// The provider record and the two built-in presets.

#include "net/OAuthProvider.h"

bool OAuthProvider::appliesTo(const QString &host, int port) const
{
    const QString name = normalHost(host);
    if (name.isEmpty())
        return false;
    const QString withPort = name + u':' + QString::number(port);
    return servers.contains(name) || servers.contains(withPort);
}

OAuthProvider OAuthProvider::microsoft()
{
    // Personal accounts (outlook.com, hotmail.com, live.com, msn.com); the
    // settings may point the two URLs at "common" for work accounts too.
    OAuthProvider provider;
    provider.id = QStringLiteral("Microsoft");
    provider.authorizationUrl = QUrl(QStringLiteral("https://login.microsoftonline.com/consumers/oauth2/v2.0/authorize"));
    provider.tokenUrl = QUrl(QStringLiteral("https://login.microsoftonline.com/consumers/oauth2/v2.0/token"));
    provider.scope = QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access");
    provider.mechanism = OAuthMechanism::XOAuth2;
    provider.servers = {QStringLiteral("outlook.office365.com"), QStringLiteral("pop-mail.outlook.com")};
    provider.always = true;
    return provider;
}

OAuthProvider OAuthProvider::google()
{
    // A typed password is an app password, which Google still takes.
    OAuthProvider provider;
    provider.id = QStringLiteral("Google");
    provider.authorizationUrl = QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"));
    provider.tokenUrl = QUrl(QStringLiteral("https://oauth2.googleapis.com/token"));
    provider.scope = QStringLiteral("https://mail.google.com/");
    provider.mechanism = OAuthMechanism::XOAuth2;
    provider.servers = {QStringLiteral("pop.gmail.com")};
    provider.needsClientSecret = true;
    return provider;
}

QString OAuthProvider::mechanismName(OAuthMechanism mechanism)
{
    return mechanism == OAuthMechanism::OAuthBearer ? QStringLiteral("OAUTHBEARER") : QStringLiteral("XOAUTH2");
}

bool OAuthProvider::mechanismFromName(const QString &name, OAuthMechanism *mechanism)
{
    for (const OAuthMechanism candidate : {OAuthMechanism::XOAuth2, OAuthMechanism::OAuthBearer}) {
        if (name.trimmed().compare(mechanismName(candidate), Qt::CaseInsensitive) == 0) {
            *mechanism = candidate;
            return true;
        }
    }
    return false;
}

QString OAuthProvider::normalHost(const QString &host)
{
    QString name = host.trimmed().toLower();
    if (name.endsWith(u'.'))
        name.chop(1);
    return name;
}
