// Reading the sign-in services from the settings, and choosing one.

#include "net/OAuthProviders.h"

#include "base/PlainText.h"
#include "base/SettingsStore.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

const QString OAuthProviders::SectionPrefix = QStringLiteral("OAuth-");

namespace {

// A value as it was written: QSettings reads "a, b" as a list.
QString text(const QSettings &store, const QString &key)
{
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).trimmed();
    return value.toString().trimmed();
}

QStringList serverList(const QString &value)
{
    QStringList servers;
    for (const QString &item : value.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts))
        servers << OAuthProvider::normalHost(item);
    return servers;
}

bool isLoopbackHost(const QString &host)
{
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") || host == QLatin1String("::1");
}

// Codes and refresh tokens go to the token URL: never readable on the way,
// except to this computer (tests, a local service).
bool isSafeUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

bool isTrue(const QString &value)
{
    for (const char *word : {"true", "yes", "1"}) {
        if (value.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

OAuthProviders::OAuthProviders()
{
    read(QString());
}

OAuthProviders::OAuthProviders(const QString &settingsFile)
{
    read(settingsFile);
}

void OAuthProviders::read(const QString &settingsFile)
{
    const auto store = SettingsStore::open(settingsFile);
    m_fileName = store->fileName();
    OAuthProvider microsoft = OAuthProvider::microsoft();
    OAuthProvider google = OAuthProvider::google();
    QList<OAuthProvider> named;
    const QStringList groups = store->childGroups();
    for (const QString &group : groups) {
        if (!group.startsWith(SectionPrefix, Qt::CaseInsensitive))
            continue;
        OAuthProvider custom;
        custom.id = group.mid(SectionPrefix.size()).trimmed();
        if (custom.id.isEmpty())
            continue;
        OAuthProvider *target = &custom;
        for (OAuthProvider *preset : {&microsoft, &google}) {
            if (custom.id.compare(preset->id, Qt::CaseInsensitive) == 0)
                target = preset;
        }
        store->beginGroup(group);
        const QStringList keys = store->childKeys();
        if (keys.contains(QStringLiteral("AuthorizationUrl")))
            target->authorizationUrl = QUrl(text(*store, QStringLiteral("AuthorizationUrl")), QUrl::StrictMode);
        if (keys.contains(QStringLiteral("TokenUrl")))
            target->tokenUrl = QUrl(text(*store, QStringLiteral("TokenUrl")), QUrl::StrictMode);
        if (keys.contains(QStringLiteral("ClientId")))
            target->clientId = text(*store, QStringLiteral("ClientId"));
        if (keys.contains(QStringLiteral("ClientSecret")))
            target->clientSecret = text(*store, QStringLiteral("ClientSecret"));
        if (keys.contains(QStringLiteral("Scope")))
            target->scope = text(*store, QStringLiteral("Scope"));
        if (keys.contains(QStringLiteral("Servers")))
            target->servers = serverList(text(*store, QStringLiteral("Servers")));
        if (keys.contains(QStringLiteral("Always")))
            target->always = isTrue(text(*store, QStringLiteral("Always")));
        if (keys.contains(QStringLiteral("Mechanism"))) {
            const QString name = text(*store, QStringLiteral("Mechanism"));
            if (!OAuthProvider::mechanismFromName(name, &target->mechanism)) {
                m_readProblems.append(
                    {target->id, QStringLiteral("Mechanism in section [%1%2] of %3 must be XOAUTH2 or OAUTHBEARER, "
                                                "not \"%4\".")
                                     .arg(SectionPrefix, target->id, m_fileName, PlainText::shown(name, 40))});
            }
        }
        store->endGroup();
        if (target == &custom)
            named.append(custom);
    }
    std::sort(named.begin(), named.end(),
              [](const OAuthProvider &a, const OAuthProvider &b) { return a.id.toLower() < b.id.toLower(); });
    m_providers = named;
    m_providers << microsoft << google;
}

QString OAuthProviders::problemOf(const OAuthProvider &provider) const
{
    for (const auto &problem : m_readProblems) {
        if (problem.first == provider.id)
            return problem.second;
    }
    const QString section = u'[' + SectionPrefix + provider.id + u']';
    if (provider.clientId.isEmpty()) {
        return QStringLiteral("Mailvane has no client id for signing in with %1. Register Mailvane with %1 as a "
                              "desktop app (the README, \"Outlook.com, Hotmail and Gmail\", says how), then enter its "
                              "client id as ClientId in section %2 of %3.")
            .arg(provider.id, section, m_fileName);
    }
    if (provider.needsClientSecret && provider.clientSecret.isEmpty()) {
        return QStringLiteral("Mailvane has no client secret for signing in with %1. Enter the client secret that %1 "
                              "issued with the client id (the README, \"Outlook.com, Hotmail and Gmail\", says where "
                              "to find it) as ClientSecret in section %2 of %3.")
            .arg(provider.id, section, m_fileName);
    }
    const QList<QPair<QString, QUrl>> urls = {{QStringLiteral("AuthorizationUrl"), provider.authorizationUrl},
                                              {QStringLiteral("TokenUrl"), provider.tokenUrl}};
    for (const auto &url : urls) {
        if (url.second.isEmpty())
            return QStringLiteral("Section %1 of %2 needs %3.").arg(section, m_fileName, url.first);
        if (!isSafeUrl(url.second)) {
            return QStringLiteral("%1 in section %2 of %3 must be an https address (http only to this computer), "
                                  "not \"%4\".")
                .arg(url.first, section, m_fileName, PlainText::shown(url.second.toString(), 100));
        }
    }
    return QString();
}

OAuthChoice OAuthProviders::choose(const QString &user, const QString &server, int port, bool passwordEmpty) const
{
    OAuthChoice choice;
    const auto found = std::find_if(m_providers.cbegin(), m_providers.cend(),
                                    [&](const OAuthProvider &provider) { return provider.appliesTo(server, port); });
    if (found == m_providers.cend() || !(found->always || passwordEmpty))
        return choice;
    choice.useOAuth = true;
    choice.provider = *found;
    choice.problem = problemOf(*found);
    if (choice.problem.isEmpty() && user.trimmed().isEmpty())
        choice.problem = QStringLiteral("Type your user name (your mail address) to sign in with %1.").arg(found->id);
    return choice;
}

bool OAuthProviders::isMicrosoftPop3Host(const QString &host)
{
    return OAuthProvider::microsoft().servers.contains(OAuthProvider::normalHost(host));
}

bool OAuthProviders::isMicrosoftServer(const QString &host) const
{
    if (isMicrosoftPop3Host(host))
        return true;
    const QString name = OAuthProvider::normalHost(host);
    for (const OAuthProvider &provider : m_providers) {
        if (provider.id != OAuthProvider::microsoft().id)
            continue;
        for (const QString &server : provider.servers) {
            if (!name.isEmpty() && (server == name || server.startsWith(name + u':')))
                return true;
        }
    }
    return false;
}
