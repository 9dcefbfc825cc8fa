#pragma once
// A private Dovecot for the TLS tests: the user "carol" with two mails, TLS
// on both ports (STLS on the plain one) with one of the test certificates.

#include "DovecotServer.h"

#include <memory>

class TestCertificates;

// The one user of that Dovecot.
inline const QString TlsUser = QStringLiteral("carol");

// Skips the test when Dovecot is missing and fails it when the
// certificates or Dovecot cannot be set up; null then.
std::unique_ptr<DovecotServer> startTlsDovecot(const TestCertificates &certificates, const QString &certificate,
                                               const QString &password);

// Fails the test, saying why, when the certificates are not made.
bool certificatesReady(const TestCertificates &certificates);
