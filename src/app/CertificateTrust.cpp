#include "app/CertificateTrust.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSettings>
#include <QSslCertificate>

#include <memory>

namespace {

const QString StoreName = QStringLiteral("Mailvane");
const QString Group = QStringLiteral("Certificates");
const QString CRLF = QStringLiteral("\r\n");
constexpr int MaxValueLength = 200;

std::unique_ptr<QSettings> openStore(const QString &file)
{
    if (file.isEmpty())
        return std::make_unique<QSettings>(StoreName, StoreName);
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

// The server chose these texts: no line ends or other control characters
// may reshape the box they are shown in, and no length may flood it.
QString shown(const QString &value)
{
    QString text;
    for (const QChar ch : value)
        text += ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format
                        || ch.category() == QChar::Separator_Line || ch.category() == QChar::Separator_Paragraph
                    ? QChar(u'?')
                    : ch;
    if (text.size() > MaxValueLength)
        text = text.left(MaxValueLength) + QStringLiteral("...");
    return text;
}

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
            parts << QString::fromLatin1(name) + u'=' + shown(value);
    }
    return parts.isEmpty() ? QStringLiteral("(none)") : parts.join(QStringLiteral(", "));
}

} // namespace

CertificateTrust::CertificateTrust() = default;

CertificateTrust::CertificateTrust(const QString &settingsFile)
    : m_settingsFile(settingsFile)
{
}

QString CertificateTrust::ServerKey(const QString &host, int port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

QString CertificateTrust::TrustedFingerprint(const QString &host, int port) const
{
    const auto store = openStore(m_settingsFile);
    return store->value(Group + u'/' + ServerKey(host, port)).toString().trimmed().toUpper();
}

void CertificateTrust::Trust(const QString &host, int port, const QSslCertificate &certificate)
{
    const QString fingerprint = Fingerprint(certificate);
    if (fingerprint.isEmpty())
        return;
    const auto store = openStore(m_settingsFile);
    store->setValue(Group + u'/' + ServerKey(host, port), fingerprint);
    store->sync();
}

QString CertificateTrust::StoreFileName() const
{
    return openStore(m_settingsFile)->fileName();
}

QString CertificateTrust::Fingerprint(const QSslCertificate &certificate)
{
    if (certificate.isNull())
        return QString();
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString CertificateTrust::Subject(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, false);
}

QString CertificateTrust::Issuer(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, true);
}

QString CertificateTrust::Date(const QSslCertificate &certificate, bool expiry)
{
    const QDateTime date = expiry ? certificate.expiryDate() : certificate.effectiveDate();
    if (!date.isValid())
        return QStringLiteral("(unknown)");
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
}

QString CertificateTrust::Describe(const QSslCertificate &certificate)
{
    return QStringLiteral("Subject: ") + Subject(certificate) + CRLF + QStringLiteral("Issuer: ")
           + Issuer(certificate) + CRLF + QStringLiteral("Valid from: ") + Date(certificate, false) + CRLF
           + QStringLiteral("Valid until: ") + Date(certificate, true) + CRLF
           + QStringLiteral("SHA-256 fingerprint: ") + Fingerprint(certificate);
}
