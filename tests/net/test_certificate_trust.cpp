// Certificates the user trusts for one server: how they are described to
// the user, and how they are pinned in the settings store.

#include "net/CertificateTrust.h"
#include "TestCertificates.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Pin
{
    QString host;
    int port;
    QString certificate;
};

} // namespace

Q_DECLARE_METATYPE(QList<Pin>)

class TestCertificateTrust : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS backend here");
        QVERIFY2(m_certificates.make(), qPrintable(m_certificates.errorString()));
    }

    void init() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void describesCertificate_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("issuer");
        // Empty: as openssl reads the file.
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("until");
        QTest::newRow("self-signed") << "selfsigned.pem" << "CN=127.0.0.1" << "CN=127.0.0.1" << "" << "";
        QTest::newRow("issued by an authority") << "good.pem" << "CN=127.0.0.1" << "CN=Mailvane Test CA" << ""
                                                << "";
        QTest::newRow("long expired") << "expired.pem" << "CN=127.0.0.1" << "CN=Mailvane Test CA"
                                      << "2020-01-01 00:00:00 UTC" << "2020-02-01 00:00:00 UTC";
        QTest::newRow("six attributes, most telling first")
            << "detailed.pem" << "CN=mail.example.org, O=Example Mail, OU=Post Room, L=Berlin, ST=Berlin, C=DE"
            << "CN=Mailvane Test CA" << "2025-03-01 12:00:00 UTC" << "2035-03-01 12:00:00 UTC";
        QTest::newRow("a line end in the name cannot fake a line of the box")
            << "hostile.pem" << QStringLiteral("CN=evil??SHA-256 fingerprint: 00, O=\u00dcmlaut Ltd")
            << QStringLiteral("CN=evil??SHA-256 fingerprint: 00, O=\u00dcmlaut Ltd") << "" << "";
    }
    void describesCertificate()
    {
        QFETCH(QString, file);
        QFETCH(QString, subject);
        QFETCH(QString, issuer);
        QFETCH(QString, from);
        QFETCH(QString, until);
        if (from.isEmpty())
            from = TestCertificates::utcText(m_certificates.opensslDate(file, false));
        if (until.isEmpty())
            until = TestCertificates::utcText(m_certificates.opensslDate(file, true));
        const QSslCertificate certificate = m_certificates.certificate(file);
        QVERIFY(!certificate.isNull());
        const QString fingerprint = m_certificates.opensslFingerprint(file);
        QCOMPARE(fingerprint.size(), 32 * 3 - 1);

        QCOMPARE(CertificateTrust::fingerprint(certificate), fingerprint);
        QCOMPARE(CertificateTrust::subject(certificate), subject);
        QCOMPARE(CertificateTrust::issuer(certificate), issuer);
        QCOMPARE(CertificateTrust::date(certificate, false), from);
        QCOMPARE(CertificateTrust::date(certificate, true), until);
        QCOMPARE(CertificateTrust::describe(certificate),
                 QStringLiteral("Subject: %1\r\nIssuer: %2\r\nValid from: %3\r\nValid until: %4\r\n"
                                "SHA-256 fingerprint: %5")
                     .arg(subject, issuer, from, until, fingerprint));
    }

    void nullCertificateHasNoFingerprintAndIsNeverPinned()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pins.conf"));
        CertificateTrust trust(file);
        QCOMPARE(CertificateTrust::fingerprint(QSslCertificate()), QString());
        QCOMPARE(CertificateTrust::subject(QSslCertificate()), QStringLiteral("(none)"));
        trust.trust(QStringLiteral("127.0.0.1"), 995, QSslCertificate());
        QCOMPARE(trust.trustedFingerprint(QStringLiteral("127.0.0.1"), 995), QString());
        QVERIFY(!QFile::exists(file));
    }

    void pinsPerServerAndPort_data()
    {
        QTest::addColumn<QList<Pin>>("pins");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("trusted"); // certificate file, empty for none

        const QList<Pin> one{{"127.0.0.1", 995, "selfsigned.pem"}};
        QTest::newRow("nothing trusted") << QList<Pin>() << "127.0.0.1" << 995 << "";
        QTest::newRow("the server and port trusted") << one << "127.0.0.1" << 995 << "selfsigned.pem";
        QTest::newRow("another port of that server") << one << "127.0.0.1" << 110 << "";
        QTest::newRow("another name of that server") << one << "localhost" << 995 << "";
        QTest::newRow("host names without letter case")
            << QList<Pin>{{"Mail.Example.ORG", 995, "detailed.pem"}} << "mail.example.org" << 995 << "detailed.pem";
        QTest::newRow("a later trust replaces the earlier")
            << QList<Pin>{{"127.0.0.1", 995, "selfsigned.pem"}, {"127.0.0.1", 995, "selfsigned2.pem"}}
            << "127.0.0.1" << 995 << "selfsigned2.pem";
        const QList<Pin> twoPorts{{"127.0.0.1", 995, "selfsigned.pem"}, {"127.0.0.1", 110, "selfsigned2.pem"}};
        QTest::newRow("two ports kept apart (995)") << twoPorts << "127.0.0.1" << 995 << "selfsigned.pem";
        QTest::newRow("two ports kept apart (110)") << twoPorts << "127.0.0.1" << 110 << "selfsigned2.pem";
        QTest::newRow("an IPv6 address") << QList<Pin>{{"::1", 110, "hostile.pem"}} << "::1" << 110 << "hostile.pem";
    }
    void pinsPerServerAndPort()
    {
        QFETCH(QList<Pin>, pins);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, trusted);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pins.conf"));
        for (const Pin &pin : pins)
            CertificateTrust(file).trust(pin.host, pin.port, m_certificates.certificate(pin.certificate));
        // A new store object reads what the earlier ones wrote.
        const QString expected = trusted.isEmpty() ? QString() : m_certificates.opensslFingerprint(trusted);
        QCOMPARE(CertificateTrust(file).trustedFingerprint(host, port), expected);
    }

    void storedBesideTheOtherSettings()
    {
        const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Mailvane/Mailvane.conf");
        QVERIFY(!qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty());
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).setValue(QStringLiteral("Settings/Help"), 1);

        CertificateTrust trust;
        QCOMPARE(QDir::cleanPath(trust.storeFileName()), QDir::cleanPath(file));
        trust.trust(QStringLiteral("Mail.Example.org"), 995, m_certificates.certificate(QStringLiteral("detailed.pem")));
        const QString fingerprint = m_certificates.opensslFingerprint(QStringLiteral("detailed.pem"));
        QCOMPARE(QString::fromLatin1(kit::readFile(file)),
                 QStringLiteral("[Certificates]\nmail.example.org%3A995=") + fingerprint
                     + QStringLiteral("\n\n[Settings]\nHelp=1\n"));

        // Written by hand in lower case, it still names the certificate.
        QFile edited(file);
        QVERIFY(edited.open(QIODevice::WriteOnly));
        edited.write("[Certificates]\nmail.example.org%3A995= " + fingerprint.toLower().toLatin1() + "\n");
        edited.close();
        QCOMPARE(CertificateTrust().trustedFingerprint(QStringLiteral("mail.example.org"), 995), fingerprint);
    }

private:
    TestCertificates m_certificates;
};

QTEST_GUILESS_MAIN(TestCertificateTrust)
#include "test_certificate_trust.moc"
