#pragma once
// Certificates made with openssl for the TLS tests, in a temporary folder:
//   ca.pem          a private authority ("Mailvane Test CA")
//   good.pem        for 127.0.0.1 and localhost, issued by that authority
//   wronghost.pem   for mail.example.org only
//   expired.pem     valid only in January 2020
//   selfsigned.pem  self-signed for 127.0.0.1
//   selfsigned2.pem self-signed for 127.0.0.1 too: the same server's
//                   replacement, with another fingerprint
//   detailed.pem    a subject with six attributes, valid 2025-03-01 12:00
//                   to 2035-03-01 12:00 UTC
//   hostile.pem     self-signed, a line end in its common name and a
//                   non-ASCII organisation
// All use one key, server.key.

#include <QDateTime>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TestCertificates
{
public:
    // False with errorString() when openssl is missing or fails.
    bool make();
    bool isMade() const { return m_made; }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QSslCertificate certificate(const QString &name) const;
    QList<QSslCertificate> ca() const { return QSslCertificate::fromPath(path(QStringLiteral("ca.pem"))); }
    // The SHA-256 fingerprint as openssl itself prints it ("AB:CD:...").
    QString opensslFingerprint(const QString &name);
    // Start or end of the validity as openssl reads it, in UTC.
    QDateTime opensslDate(const QString &name, bool expiry);
    QString errorString() const { return m_error; }
    // A certificate's date as the window shows it: "2025-03-01 12:00:00 UTC".
    static QString utcText(const QDateTime &date);

private:
    bool makeAll();
    bool run(const QStringList &arguments, QByteArray *output = nullptr);

    QTemporaryDir m_dir;
    QString m_openssl;
    QString m_error;
    bool m_made = false;
};
