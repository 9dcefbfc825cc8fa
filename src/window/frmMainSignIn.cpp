// Signing in after the greeting and CAPA (and STLS where it applies): the
// strongest method the server offers (Pop3SignIn::methodsToTry, or what the
// settings force for the server and port), one attempt per login, the next
// method only where the server does not take one or its exchange breaks on
// protocol grounds. What the user sees is as with USER and PASS: the same
// progress, the same refusal box with the server's -ERR line, "Logout"
// after a refusal.
//
// The password never goes out readable by surprise: a plain connection to a
// server and port known to speak TLS is a downgrade and stops the login;
// elsewhere the user is asked once before a method that sends the password
// readable (USER/PASS, PLAIN) uses an unencrypted connection to another
// machine.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/CertificateTrust.h"
#include "net/SignInSettings.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"

#include <QPushButton>

using namespace modProgress;
using Pop3SignIn::Method;
using vb::CrLf;

namespace {

QString serverAndPort(const QString &host, int port)
{
    return host + QStringLiteral(" port ") + QString::number(port);
}

const QString NothingSent = QStringLiteral("The login has been stopped; your user name and password were not sent.");

} // namespace

void frmMain::continueWithoutTls()
{
    const QString why = knownTlsServer();
    if (!why.isEmpty()) {
        // Whoever took STLS out of the list wants what follows in clear.
        abandonSession(QStringLiteral("The mail server ") + serverAndPort(strMailServer, iPort)
                       + QStringLiteral(" did not offer a secure connection (STLS) this time, although ") + why
                       + QStringLiteral(". Someone on the network may have removed it to read your password.")
                       + CrLf + NothingSent + CrLf
                       + QStringLiteral("If the server really no longer offers TLS, remove the entry for ")
                       + CertificateTrust::serverKey(strMailServer, iPort) + QStringLiteral(" in the [Certificates] and [")
                       + SignInSettings::tlsLoginsGroup() + QStringLiteral("] sections of ")
                       + SignInSettings().storeFileName() + QStringLiteral(" and log in again."));
        return;
    }
    startSignIn();
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

void frmMain::startSignIn()
{
    // A login that signed in in the browser has its token and nothing else.
    if (!m_oauthProvider.isNull()) {
        startTokenSignIn();
        return;
    }
    SignInSettings settings;
    QList<Method> forced;
    for (const QString &name : settings.forcedMethods(strMailServer, iPort)) {
        Method method;
        if (!Pop3SignIn::methodFromName(name, &method)) {
            abandonSession(QStringLiteral("The entry for ") + CertificateTrust::serverKey(strMailServer, iPort)
                           + QStringLiteral(" in the [") + SignInSettings::methodsGroup() + QStringLiteral("] section of ")
                           + settings.storeFileName() + QStringLiteral(" names \"") + name
                           + QStringLiteral("\", which is no sign-in method Mailvane knows (SCRAM-SHA-256, SCRAM-SHA-1, "
                                            "CRAM-MD5, APOP, USER, PLAIN).")
                           + CrLf + NothingSent);
            return;
        }
        forced.append(method);
    }
    m_signInMethods = Pop3SignIn::methodsToTry(m_capabilities, Pop3SignIn::apopStamp(m_greeting),
                                               sockPOP3->isEncrypted(), forced);
    tryNextSignInMethod();
}

void frmMain::tryNextSignInMethod()
{
    m_authExchange.reset();
    m_saslClient.reset();
    while (!m_signInMethods.isEmpty()) {
        const Method method = m_signInMethods.takeFirst();
        if (Pop3SignIn::sendsPasswordReadable(method) && !maySendPasswordReadable())
            return;
        if (startSignInMethod(method))
            return;
    }
    abandonSession(QStringLiteral("The mail server ") + serverAndPort(strMailServer, iPort)
                   + QStringLiteral(" took none of the sign-in methods Mailvane can use.") + CrLf + NothingSent);
}

bool frmMain::startSignInMethod(Method method)
{
    switch (method) {
    case Method::UserPass:
        // The dialogue of old: USER, then PASS on its reply.
        m_loginPhase = LoginPhase::None;
        StartPOP3Login();
        return true;
    case Method::Apop: {
        const QString stamp = Pop3SignIn::apopStamp(m_greeting);
        if (stamp.isEmpty())
            return false;
        m_loginPhase = LoginPhase::SignIn;
        sendLine(Pop3SignIn::apopLine(vUser, stamp, strPassword));
        return true;
    }
    case Method::XOAuth2:
    case Method::OAuthBearer:
        // They take a token, which this login has not got.
        return false;
    case Method::ScramSha256:
    case Method::ScramSha1:
    case Method::CramMd5:
    case Method::Plain:
        break;
    }
    m_saslClient = std::make_unique<SaslClient>(Pop3SignIn::methodName(method).toLatin1(), vUser, strPassword);
    if (!m_saslClient->isValid())
        return false;
    return startAuthExchange(method, Pop3AuthExchange::saslMechanism(m_saslClient.get()));
}

bool frmMain::startAuthExchange(Method method, Pop3AuthExchange::Mechanism mechanism)
{
    m_authExchange = std::make_unique<Pop3AuthExchange>(method, std::move(mechanism));
    const QString line = m_authExchange->start();
    if (line.isEmpty())
        return false;
    m_loginPhase = LoginPhase::SignIn;
    sendLine(line);
    return true;
}

void frmMain::signInReply(const QString &reply)
{
    if (!m_authExchange) {
        // APOP: one line, one reply. A greeting's stamp is no promise of
        // APOP: servers (GNU mailutils among them) stamp every greeting and
        // refuse APOP, in the words of a wrong password, to users without an
        // APOP secret. So its refusal lets the next method (USER and PASS)
        // follow, as it did before APOP was tried; over a plain connection
        // to another machine only after the question.
        m_loginPhase = LoginPhase::None;
        if (!Pop3ReplyReader::isError(reply))
            signedIn();
        else if (m_signInMethods.isEmpty())
            signInRefused(reply);
        else
            tryNextSignInMethod();
        return;
    }
    const QString line = m_authExchange->handleReply(reply);
    if (!line.isEmpty() && !sendLine(line))
        return;
    switch (m_authExchange->outcome()) {
    case Pop3AuthExchange::Outcome::Going:
        // The server is in the exchange: as far as a reply to USER.
        if (m_authExchange->challenged())
            SetProgressValue(1);
        return;
    case Pop3AuthExchange::Outcome::SignedIn:
        m_loginPhase = LoginPhase::None;
        signedIn();
        return;
    case Pop3AuthExchange::Outcome::Refused:
        m_loginPhase = LoginPhase::None;
        signInRefused(reply);
        return;
    case Pop3AuthExchange::Outcome::Unsupported:
    case Pop3AuthExchange::Outcome::Broken:
        tryNextSignInMethod();
        return;
    case Pop3AuthExchange::Outcome::Unproven:
        abandonSession(m_authExchange->errorString() + CrLf
                       + QStringLiteral("The login has been stopped; your password was not sent."));
        return;
    }
}

void frmMain::signedIn()
{
    SetProgressValue(1);
    passwordAccepted();
}

void frmMain::signInRefused(const QString &reply)
{
    if (retryWithFreshToken())
        return;
    // As after a refused PASS: the box, the window given back, and the still
    // open connection closed by the user's next click.
    serverErrorPath(reply);
    cmdLogin->setText(QStringLiteral("Logout"));
}

void frmMain::passwordAccepted()
{
    // Asked for first: the server answers while the window shows the login.
    if (!askForStats())
        return;
    SetProgressValue(2);
    shpStatus->SetFillColor(vb::ColorFromLiteral(QStringLiteral("&H00FF00")));
    // From now on a plain connection to this server and port is a downgrade.
    if (sockPOP3->isEncrypted())
        SignInSettings().rememberTlsLogin(strMailServer, iPort);
}
