// Generating test certificates and keys with openssl.

#include "TestCertificates.h"

#include <QFile>
#include <QLocale>
#include <QTimeZone>
#include <QProcess>
#include <QStandardPaths>

bool TestCertificates::make()
{
    m_made = makeAll();
    return m_made;
}

QString TestCertificates::utcText(const QDateTime &date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" UTC");
}

bool TestCertificates::makeAll()
{
    m_openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (m_openssl.isEmpty()) {
        m_error = QStringLiteral("openssl is not installed");
        return false;
    }
    QFile config(path(QStringLiteral("ca.cnf")));
    if (!config.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write ca.cnf");
        return false;
    }
    config.write("[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = Mailvane Test CA\n"
                 "[ca_ext]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                 "subjectKeyIdentifier = hash\n"
                 "[ca]\ndefault_ca = testca\n"
                 "[testca]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\ndefault_md = sha256\n"
                 "policy = anything\nunique_subject = no\nemail_in_dn = no\ncopy_extensions = none\n"
                 "[anything]\ncountryName = optional\nstateOrProvinceName = optional\nlocalityName = optional\n"
                 "organizationName = optional\norganizationalUnitName = optional\ncommonName = supplied\n"
                 "[good]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n"
                 "subjectAltName = IP:127.0.0.1,DNS:localhost\n"
                 "[wronghost]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n"
                 "subjectAltName = DNS:mail.example.org\n");
    config.close();
    QFile(path(QStringLiteral("index.txt"))).open(QIODevice::WriteOnly);
    QFile serial(path(QStringLiteral("serial")));
    if (!serial.open(QIODevice::WriteOnly) || serial.write("01\n") != 3) {
        m_error = QStringLiteral("cannot write the serial file");
        return false;
    }
    serial.close();

    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QStringList sign{"ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-notext"};
    const QStringList selfSigned{"req", "-x509", "-config", "ca.cnf", "-extensions", "good", "-key", "server.key",
                                 "-days", "3", "-utf8"};
    return run(QStringList{"req", "-x509", "-config", "ca.cnf", "-extensions", "ca_ext"} + ec
               + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "3"})
           && run(QStringList{"req", "-new", "-config", "ca.cnf"} + ec
                  + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"})
           && run({"req", "-new", "-config", "ca.cnf", "-key", "server.key", "-out", "other.csr", "-subj",
                   "/CN=mail.example.org"})
           && run(sign + QStringList{"-in", "server.csr", "-out", "good.pem", "-extensions", "good", "-days", "3"})
           && run(sign + QStringList{"-in", "other.csr", "-out", "wronghost.pem", "-extensions", "wronghost",
                                     "-days", "3"})
           && run(sign + QStringList{"-in", "server.csr", "-out", "expired.pem", "-extensions", "good",
                                     "-startdate", "20200101000000Z", "-enddate", "20200201000000Z"})
           && run(sign + QStringList{"-in", "other.csr", "-out", "detailed.pem", "-extensions", "wronghost",
                                     "-subj", "/C=DE/ST=Berlin/L=Berlin/O=Example Mail/OU=Post Room/CN=mail.example.org",
                                     "-startdate", "20250301120000Z", "-enddate", "20350301120000Z"})
           && run(selfSigned + QStringList{"-out", "selfsigned.pem", "-subj", "/CN=127.0.0.1"})
           && run(selfSigned + QStringList{"-out", "selfsigned2.pem", "-subj", "/CN=127.0.0.1"})
           && run(selfSigned
                  + QStringList{"-out", "hostile.pem", "-subj",
                                QStringLiteral("/CN=evil\r\nSHA-256 fingerprint: 00/O=\u00dcmlaut Ltd")});
}

QSslCertificate TestCertificates::certificate(const QString &name) const
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path(name));
    return certificates.isEmpty() ? QSslCertificate() : certificates.first();
}

QString TestCertificates::opensslFingerprint(const QString &name)
{
    QByteArray output;
    if (!run({"x509", "-noout", "-fingerprint", "-sha256", "-in", name}, &output))
        return QString();
    // "sha256 Fingerprint=AB:CD:..."
    return QString::fromLatin1(output.mid(output.indexOf('=') + 1).trimmed()).toUpper();
}

QDateTime TestCertificates::opensslDate(const QString &name, bool expiry)
{
    QByteArray output;
    if (!run({"x509", "-noout", expiry ? "-enddate" : "-startdate", "-in", name}, &output))
        return QDateTime();
    // "notAfter=Mar  1 12:00:00 2035 GMT"
    const QString text = QString::fromLatin1(output.mid(output.indexOf('=') + 1)).simplified();
    QDateTime date = QLocale::c().toDateTime(text, QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"));
    date.setTimeZone(QTimeZone::utc());
    return date;
}

bool TestCertificates::run(const QStringList &arguments, QByteArray *output)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    if (!output)
        openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(m_openssl, arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(arguments.join(u' '), QString::fromLocal8Bit(openssl.readAll() + openssl.readAllStandardError()));
        return false;
    }
    if (output)
        *output = openssl.readAllStandardOutput();
    return true;
}
