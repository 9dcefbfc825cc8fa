// The pinned fingerprints in the settings store, and certificate texts.

#include "net/CertificateTrust.h"

#include "base/PlainText.h"
#include "base/SettingsStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSettings>
#include <QSslCertificate>

namespace {

const QString Group = QStringLiteral("Certificates");
const QString CRLF = QStringLiteral("\r\n");

// The usual names first, most telling first; any others after them.
QString distinguishedName(const QSslCertificate &certificate, bool issuer)
{
    QList<QByteArray> attributes = issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    QList<QByteArray> ordered;
    for (const char *name : {"CN", "O", "OU", "L", "ST", "C", "emailAddress"}) {
        if (attributes.removeAll(name) > 0)
            ordered << QByteArray(name);
    }
    ordered += attributes;
    QStringList parts;
    for (const QByteArray &name : ordered) {
        const QStringList values = issuer ? certificate.issuerInfo(name) : certificate.subjectInfo(name);
        for (const QString &value : values)
            parts << QString::fromLatin1(name) + u'=' + PlainText::shown(value);
    }
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral(", "));
}

} // namespace

CertificateTrust::CertificateTrust() = default;

CertificateTrust::CertificateTrust(const QString &settingsFile)
    : m_settingsFile(settingsFile)
{
}

QString CertificateTrust::serverKey(const QString &host, int port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

QString CertificateTrust::trustedFingerprint(const QString &host, int port) const
{
    const auto store = SettingsStore::open(m_settingsFile);
    return store->value(Group + u'/' + serverKey(host, port)).toString().trimmed().toUpper();
}

void CertificateTrust::trust(const QString &host, int port, const QSslCertificate &certificate)
{
    const QString pin = fingerprint(certificate);
    if (pin.isEmpty())
        return;
    const auto store = SettingsStore::open(m_settingsFile);
    store->setValue(Group + u'/' + serverKey(host, port), pin);
    store->sync();
}

QString CertificateTrust::storeFileName() const
{
    return SettingsStore::open(m_settingsFile)->fileName();
}

QString CertificateTrust::fingerprint(const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return QString();
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString CertificateTrust::subject(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, false);
}

QString CertificateTrust::issuer(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, true);
}

QString CertificateTrust::date(const QSslCertificate &certificate, bool expiry)
{
    const QDateTime when = expiry ? certificate.expiryDate() : certificate.effectiveDate();
    if (!when.isValid())
        return QStringLiteral("(unknown)");
    return when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

QString CertificateTrust::describe(const QSslCertificate &certificate)
{
    return QStringLiteral("Subject: ") + subject(certificate) + CRLF + QStringLiteral("Issuer: ")
           + issuer(certificate) + CRLF + QStringLiteral("Valid from: ") + date(certificate, false) + CRLF
           + QStringLiteral("Valid until: ") + date(certificate, true) + CRLF
           + QStringLiteral("SHA-256 fingerprint: ") + fingerprint(certificate);
}
