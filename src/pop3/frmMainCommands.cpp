// POP3 command senders and the connection's events.

#include "app/frmMain.h"

#include "app/MessageBoxes.h"
#include "app/TcpClientSocket.h"
#include "app/modProgress.h"
#include "pop3/Pop3ReplyReader.h"

#include <QPushButton>
#include <QTimer>

using namespace modProgress;

namespace {
const QString CRLF = QStringLiteral("\r\n");
constexpr int OneLine = int(Pop3ReplyReader::Kind::SingleLine);
constexpr int MultiLine = int(Pop3ReplyReader::Kind::MultiLine);
} // namespace

bool frmMain::SendCommandLine(const QString &verb, const QString &line, int replyKind)
{
    if (verb == QLatin1String("QUIT "))
        vCommand = verb;
    m_replyReader->expect(Pop3ReplyReader::Kind(replyKind));
    if (!sockPOP3->SendData(line)) {
        ConnectionLost();
        return false;
    }
    vCommand = verb;
    WatchForReply();
    return true;
}

bool frmMain::SendLoginLine(const QString &line, int replyKind)
{
    // CAPA and STLS come before the dialogue proper and leave its command
    // names alone.
    m_replyReader->expect(Pop3ReplyReader::Kind(replyKind));
    if (!sockPOP3->SendData(line)) {
        ConnectionLost();
        return false;
    }
    WatchForReply();
    return true;
}

void frmMain::ConnectionLost()
{
    m_replyReader->clear();
    m_loginPhase = LoginPhase::None;
    // Report once, then give the window back in the logged-out state.
    if (!bMinimized)
        MsgBox(this, QStringLiteral("The connection to the mail server has been lost.") + CRLF
                   + QStringLiteral("Please login again."),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
    EndProgress();
    bRelogin = false;
    EnableControls(true);
    ResetSession();
}

void frmMain::StlsFailed(const QString &reason)
{
    // The server offered encryption: going on in plain text would hand the
    // password to whoever prevented it.
    m_replyReader->clear();
    m_loginPhase = LoginPhase::None;
    if (!bMinimized)
        MsgBox(this, QStringLiteral("The mail server offers a secure connection (STLS), but it could not be set up:")
                   + CRLF + reason + CRLF
                   + QStringLiteral("The login has been stopped; your user name and password were not sent."),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
    EndProgress();
    bRelogin = false;
    EnableControls(true);
    ResetSession();
}

void frmMain::setReplyTimeout(int ms)
{
    m_replyTimer->setInterval(ms);
}

void frmMain::WatchForReply()
{
    // Any sign of life restarts the wait; nothing outstanding ends it. A TLS
    // handshake is waited for like a reply.
    if ((m_replyReader->expectedCount() > 0 || m_loginPhase == LoginPhase::Upgrading)
        && sockPOP3->State() != TcpClientSocket::sckClosed)
        m_replyTimer->start();
    else
        m_replyTimer->stop();
}

void frmMain::ReplyTimedOut()
{
    if (m_loginPhase == LoginPhase::Stls || m_loginPhase == LoginPhase::Upgrading) {
        StlsFailed(QStringLiteral("The mail server did not answer for ") + QString::number(m_replyTimer->interval() / 1000)
                   + QStringLiteral(" seconds."));
        return;
    }
    // A server that stops answering must not freeze the window for ever.
    if (!bMinimized)
        MsgBox(this, QStringLiteral("The mail server did not answer for ") + QString::number(m_replyTimer->interval() / 1000)
                   + QStringLiteral(" seconds.") + CRLF + QStringLiteral("The connection has been closed."),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
    m_replyReader->clear();
    m_loginPhase = LoginPhase::None;
    EndProgress();
    bRelogin = false;
    EnableControls(true);
    ResetSession();
}

bool frmMain::SendUser(const QString &user)
{
    return SendCommandLine(QStringLiteral("USER "), QStringLiteral("USER ") + user + CRLF, OneLine);
}

bool frmMain::SendPass(const QString &password)
{
    return SendCommandLine(QStringLiteral("PASS "), QStringLiteral("PASS ") + password + CRLF, OneLine);
}

bool frmMain::SendStat()
{
    return SendCommandLine(QStringLiteral("STAT "), QStringLiteral("STAT ") + CRLF, OneLine);
}

bool frmMain::SendList(int n)
{
    strListReply.clear();
    StartProgress();
    if (n == 0) {
        ShowProgressText(QStringLiteral("Getting message statistics.."));
        SetProgressMax(100);
        SetProgressValue(1);
        bListOne = false;
        bListForView = false;
        return SendCommandLine(QStringLiteral("LIST "), QStringLiteral("LIST ") + CRLF, MultiLine);
    }
    bListOne = true;
    bListForView = true;
    return SendCommandLine(QStringLiteral("LIST "), QStringLiteral("LIST ") + QString::number(n) + CRLF, OneLine);
}

bool frmMain::SendUidl()
{
    strUIDLReply.clear();
    StartProgress();
    ShowProgressText(QStringLiteral("Getting message ids.."));
    SetProgressMax(100);
    SetProgressValue(1);
    return SendCommandLine(QStringLiteral("UIDL "), QStringLiteral("UIDL ") + CRLF, MultiLine);
}

bool frmMain::SendTop(int n, int lines)
{
    strTopReply.clear();
    bTopDone = false;
    return SendCommandLine(QStringLiteral("TOP "),
                           QStringLiteral("TOP ") + QString::number(n) + u' ' + QString::number(lines) + CRLF,
                           MultiLine);
}

bool frmMain::SendRetr(int n)
{
    StartProgress();
    ShowProgressText(QStringLiteral("Retrieving message ") + QString::number(n));
    SetProgressMax(lRetrSize);
    SetProgressValue(0);
    return SendCommandLine(QStringLiteral("RETR "), QStringLiteral("RETR ") + QString::number(n) + CRLF, MultiLine);
}

bool frmMain::SendDele(int n)
{
    return SendCommandLine(QStringLiteral("DELE "), QStringLiteral("DELE ") + QString::number(n) + CRLF, OneLine);
}

bool frmMain::SendRset()
{
    return SendCommandLine(QStringLiteral("RSET "), QStringLiteral("RSET ") + CRLF, OneLine);
}

bool frmMain::SendQuit()
{
    return SendCommandLine(QStringLiteral("QUIT "), QStringLiteral("QUIT ") + CRLF, OneLine);
}

void frmMain::StartPOP3Login()
{
    SendUser(vUser);
}

bool frmMain::UsesImplicitTls(int port) const
{
    return port == 995 || m_implicitTlsPorts.contains(port);
}

void frmMain::sockPOP3_Connect()
{
    // Over POP3S the dialogue starts at once; on any other port the greeting
    // comes first, then CAPA decides whether to upgrade before USER.
    if (m_loginPhase == LoginPhase::None)
        StartPOP3Login();
}

void frmMain::sockPOP3_Encrypted()
{
    if (m_loginPhase != LoginPhase::Upgrading)
        return;
    m_loginPhase = LoginPhase::None;
    // No second greeting follows the upgrade: the next reply is USER's.
    StartPOP3Login();
    strPrevCommand = vCommand;
}

void frmMain::sockPOP3_Close()
{
    if (m_loginPhase == LoginPhase::Stls || m_loginPhase == LoginPhase::Upgrading) {
        StlsFailed(QStringLiteral("The mail server closed the connection."));
        return;
    }
    m_loginPhase = LoginPhase::None;
    // Closed in the middle of a login or a listing: its progress ends too.
    EndProgress();
    ResetSession();
}

void frmMain::sockPOP3_Error(int number, const QString &description)
{
    // A failed connection answers nothing more.
    m_replyTimer->stop();
    if (m_loginPhase == LoginPhase::Stls || m_loginPhase == LoginPhase::Upgrading) {
        StlsFailed(description);
        return;
    }
    m_loginPhase = LoginPhase::None;
    if (!bMinimized)
        MsgBox(this, QStringLiteral("Error") + CRLF + QString::number(number) + u' ' + description,
               MsgButtons::Ok, MsgIcon::None, AppTitle);
    RecoverFromError();
}
