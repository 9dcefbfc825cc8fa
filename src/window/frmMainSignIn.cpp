// Signing in after the greeting: the password never goes out readable by
// surprise. A plain connection to a server and port known to speak TLS is a
// downgrade and stops the login; elsewhere the user is asked once before the
// password would go out unencrypted to another machine.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/CertificateTrust.h"
#include "net/SignInSettings.h"
#include "net/TcpClientSocket.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"

using namespace modProgress;
using vb::CrLf;

namespace {

QString serverAndPort(const QString &host, int port)
{
    return host + QStringLiteral(" port ") + QString::number(port);
}

} // namespace

void frmMain::continueWithoutTls()
{
    const QString why = knownTlsServer();
    if (!why.isEmpty()) {
        // Whoever took STLS out of the list wants what follows in clear.
        abandonSession(QStringLiteral("The mail server ") + serverAndPort(strMailServer, iPort)
                       + QStringLiteral(" did not offer a secure connection (STLS) this time, although ") + why
                       + QStringLiteral(". Someone on the network may have removed it to read your password.")
                       + CrLf + QStringLiteral("The login has been stopped; your user name and password were not sent.")
                       + CrLf + QStringLiteral("If the server really no longer offers TLS, remove the entry for ")
                       + CertificateTrust::serverKey(strMailServer, iPort) + QStringLiteral(" in the [Certificates] and [")
                       + SignInSettings::tlsLoginsGroup() + QStringLiteral("] sections of ")
                       + SignInSettings().storeFileName() + QStringLiteral(" and log in again."));
        return;
    }
    if (!maySendPasswordReadable())
        return;
    StartPOP3Login();
}

QString frmMain::knownTlsServer() const
{
    if (!CertificateTrust().trustedFingerprint(strMailServer, iPort).isEmpty())
        return QStringLiteral("you trust a certificate for it");
    if (SignInSettings().loggedInOverTls(strMailServer, iPort))
        return QStringLiteral("Mailvane has logged in to it over TLS before");
    return QString();
}

bool frmMain::maySendPasswordReadable()
{
    // On loopback the password never leaves this machine.
    if (sockPOP3->isEncrypted() || sockPOP3->isPeerLoopback())
        return true;
    SignInSettings settings;
    if (settings.cleartextAllowed(strMailServer, iPort))
        return true;
    const QString server = serverAndPort(strMailServer, iPort);
    // In the tray nobody can be asked: the login fails.
    if (bMinimized) {
        abandonSession();
        return false;
    }
    const QString question =
        QStringLiteral("The mail server ") + server
        + QStringLiteral(" does not offer a secure connection (STLS): your password would go to it unencrypted, "
                         "and anyone on the network path could read it.")
        + CrLf + CrLf + QStringLiteral("Send your password unencrypted to ") + server
        + QStringLiteral(" anyway? Yes is remembered for this server and port (section [") + SignInSettings::cleartextGroup()
        + QStringLiteral("] of ") + settings.storeFileName() + QStringLiteral("); No stops the login and sends nothing.");
    if (MsgBox(this, question, MsgButtons::YesNo, MsgIcon::Exclamation, MsgTitle) != MsgAnswer::Yes) {
        abandonSession();
        return false;
    }
    settings.allowCleartext(strMailServer, iPort);
    return true;
}

void frmMain::passwordAccepted()
{
    SetProgressValue(2);
    shpStatus->SetFillColor(vb::ColorFromLiteral(QStringLiteral("&H00FF00")));
    // From now on a plain connection to this server and port is a downgrade.
    if (sockPOP3->isEncrypted())
        SignInSettings().rememberTlsLogin(strMailServer, iPort);
    SendStat();
}
