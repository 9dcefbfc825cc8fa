// The sign-in entries of the settings store.

#include "net/SignInSettings.h"

#include "base/SettingsStore.h"
#include "net/CertificateTrust.h"

#include <QRegularExpression>
#include <QSettings>

SignInSettings::SignInSettings() = default;

SignInSettings::SignInSettings(const QString &settingsFile)
    : m_settingsFile(settingsFile)
{
}

QString SignInSettings::tlsLoginsGroup()
{
    return QStringLiteral("TlsLogins");
}

QString SignInSettings::cleartextGroup()
{
    return QStringLiteral("CleartextPasswords");
}

QString SignInSettings::methodsGroup()
{
    return QStringLiteral("SignInMethods");
}

bool SignInSettings::flag(const QString &group, const QString &host, int port) const
{
    const auto store = SettingsStore::open(m_settingsFile);
    return store->value(group + u'/' + CertificateTrust::serverKey(host, port)).toBool();
}

void SignInSettings::setFlag(const QString &group, const QString &host, int port)
{
    const auto store = SettingsStore::open(m_settingsFile);
    store->setValue(group + u'/' + CertificateTrust::serverKey(host, port), true);
    store->sync();
}

bool SignInSettings::loggedInOverTls(const QString &host, int port) const
{
    return flag(tlsLoginsGroup(), host, port);
}

void SignInSettings::rememberTlsLogin(const QString &host, int port)
{
    if (!loggedInOverTls(host, port))
        setFlag(tlsLoginsGroup(), host, port);
}

bool SignInSettings::cleartextAllowed(const QString &host, int port) const
{
    return flag(cleartextGroup(), host, port);
}

void SignInSettings::allowCleartext(const QString &host, int port)
{
    setFlag(cleartextGroup(), host, port);
}

QStringList SignInSettings::forcedMethods(const QString &host, int port) const
{
    const auto store = SettingsStore::open(m_settingsFile);
    // QSettings reads "a, b" as a list: join it back before splitting.
    const QVariant value = store->value(methodsGroup() + u'/' + CertificateTrust::serverKey(host, port));
    const QString text = value.toStringList().join(u',');
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString SignInSettings::storeFileName() const
{
    return SettingsStore::open(m_settingsFile)->fileName();
}
