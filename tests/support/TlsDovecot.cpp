// A Dovecot with STLS and POP3S listeners and a generated certificate.

#include "TestCertificates.h"
#include "TlsDovecot.h"

#include <QSslSocket>
#include <QtTest>

bool certificatesReady(const TestCertificates &certificates)
{
    if (certificates.isMade())
        return true;
    const QString why =
        QSslSocket::supportsSsl() ? certificates.errorString() : QStringLiteral("Qt has no TLS backend here");
    QTest::qFail(qPrintable(why), __FILE__, __LINE__);
    return false;
}

std::unique_ptr<DovecotServer> startTlsDovecot(const TestCertificates &certificates, const QString &certificate,
                                               const QString &password)
{
    if (!DovecotServer::isAvailable()) {
        QTest::qSkip(qPrintable(DovecotServer::unavailableReason()), __FILE__, __LINE__);
        return {};
    }
    if (!certificatesReady(certificates))
        return {};
    auto dovecot = std::make_unique<DovecotServer>();
    if (!dovecot->addUser(TlsUser, password) || !dovecot->deliver(TlsUser, "Subject: one\r\n\r\nfirst\r\n")
        || !dovecot->deliver(TlsUser, "Subject: two\r\n\r\nsecond\r\n")
        || !dovecot->enableTls(certificates.path(certificate), certificates.path(QStringLiteral("server.key")))
        || !dovecot->start()) {
        QTest::qFail(qPrintable(dovecot->errorString() + dovecot->log()), __FILE__, __LINE__);
        return {};
    }
    return dovecot;
}
