#pragma once
// Server certificates the user chose to trust although they do not verify
// (self-signed, unknown authority, expired, made out to another host).
// Each is pinned by its SHA-256 fingerprint for one server and port, in the
// program's settings store, group "Certificates", key "host:port".
//
// Also the texts that describe a certificate to the user.

#include <QString>

class QSslCertificate;

class CertificateTrust
{
public:
    // The program's own settings store.
    CertificateTrust();
    // Another settings file (tests of the store itself).
    explicit CertificateTrust(const QString &settingsFile);

    // The fingerprint trusted for this server and port; empty when none.
    QString trustedFingerprint(const QString &host, int port) const;
    // Trusts exactly this certificate for the server and port from now on,
    // in place of any other trusted before.
    void trust(const QString &host, int port, const QSslCertificate &certificate);
    // Where the store lives, for messages that tell how to undo a trust.
    QString storeFileName() const;

    // Host names are compared without letter case.
    static QString serverKey(const QString &host, int port);
    // "AB:CD:..." (32 octets), empty for a null certificate.
    static QString fingerprint(const QSslCertificate &certificate);
    // "CN=mail.example.org, O=Example"; "(none)" when the subject is empty.
    static QString subject(const QSslCertificate &certificate);
    static QString issuer(const QSslCertificate &certificate);
    // "2026-12-10 12:50:23 UTC"
    static QString date(const QSslCertificate &certificate, bool expiry);
    // Subject, issuer, validity and fingerprint, one per line (CR LF).
    static QString describe(const QSslCertificate &certificate);

private:
    QString m_settingsFile; // empty: the program's store
};
