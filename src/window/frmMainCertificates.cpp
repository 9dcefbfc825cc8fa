// A server certificate that does not verify: the login stops, and the user
// may trust that certificate for this server and port from now on.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/CertificateTrust.h"
#include "net/TcpClientSocket.h"
#include "window/MessageBoxes.h"

#include <QSslCertificate>

using vb::CrLf;

namespace {

QString serverName(const QString &host, int port)
{
    return host + QStringLiteral(" port ") + QString::number(port);
}

} // namespace

bool frmMain::certificateRefused(const QString &problem)
{
    const QSslCertificate certificate = sockPOP3->refusedCertificate();
    // Never trusted silently: without a box the login fails as ever.
    if (bMinimized || certificate.isNull())
        return false;
    const QString host = strMailServer;
    const int port = iPort;
    abandonSession();
    // The box waits for the user, so it opens once the socket's event is
    // over: the socket must not see events of its own while still in one.
    QMetaObject::invokeMethod(
        this, [this, problem, certificate, host, port] { askToTrustCertificate(problem, certificate, host, port); },
        Qt::QueuedConnection);
    return true;
}

void frmMain::askToTrustCertificate(const QString &problem, const QSslCertificate &certificate, const QString &host,
                                    int port)
{
    CertificateTrust trust;
    const QString trusted = trust.trustedFingerprint(host, port);
    if (!trusted.isEmpty() && trusted != CertificateTrust::fingerprint(certificate)) {
        reportChangedCertificate(host, port, trusted, certificate);
        return;
    }
    const QString question =
        problem + CrLf + CrLf + CertificateTrust::describe(certificate) + CrLf + CrLf
        + QStringLiteral("Your user name and password have not been sent.") + CrLf
        + QStringLiteral("Do you want to trust this certificate for ") + serverName(host, port)
        + QStringLiteral(" from now on? Answer Yes only if you know it is your server's own certificate "
                         "(compare the fingerprint with the one its administrator gives you).");
    if (MsgBox(this, question, MsgButtons::YesNo, MsgIcon::Exclamation, MsgTitle) != MsgAnswer::Yes)
        return;
    trust.trust(host, port, certificate);
    // A new connection: the refused one is gone, and nothing was sent on it.
    cmdLogin_Click();
}

void frmMain::reportChangedCertificate(const QString &host, int port, const QString &trusted,
                                       const QSslCertificate &presented)
{
    const CertificateTrust trust;
    MsgBox(this,
           QStringLiteral("The mail server's certificate has changed since you trusted it for ") + serverName(host, port)
               + u'.' + CrLf + QStringLiteral("Trusted fingerprint: ") + trusted + CrLf
               + QStringLiteral("Presented fingerprint: ") + CertificateTrust::fingerprint(presented) + CrLf + CrLf
               + QStringLiteral("The presented certificate:") + CrLf + CertificateTrust::describe(presented) + CrLf
               + CrLf + QStringLiteral("The login has been stopped; your user name and password were not sent.")
               + CrLf
               + QStringLiteral("If the server's certificate was replaced on purpose, remove the entry for ")
               + CertificateTrust::serverKey(host, port) + QStringLiteral(" in the [Certificates] section of ")
               + trust.storeFileName() + QStringLiteral(" and log in again."),
           MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
}
