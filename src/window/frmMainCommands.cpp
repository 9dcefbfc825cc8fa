// POP3 command senders and the connection's events.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/FramePacer.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"

#include <QPushButton>
#include <QTimer>

#include <limits>
#include <utility>

using namespace modProgress;
using namespace Pop3Command;
using vb::CrLf;

bool frmMain::sendLine(const QString &line)
{
    m_replyReader->commandSent(line);
    const bool batched = m_batchDepth > 0;
    const bool sent = batched ? sockPOP3->QueueData(line) : sockPOP3->SendData(line);
    if (!sent) {
        m_batchDepth = 0;
        connectionLost();
        return false;
    }
    if (!batched)
        m_pacer->letThrough();
    watchForReply();
    return true;
}

bool frmMain::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return true;
    if (sockPOP3->State() == TcpClientSocket::sckClosed)
        return true;
    if (sockPOP3->Flush()) {
        m_pacer->letThrough();
        return true;
    }
    connectionLost();
    return false;
}

void frmMain::forgetReplies()
{
    m_replyReader->clear();
    m_lateReplies.clear();
    m_listSentAhead = false;
    m_uidlSentAhead = false;
}

bool frmMain::sendCommand(const QString &line)
{
    const QString name = commandName(line);
    if (name == Verb::Quit)
        vCommand = name;
    if (!sendLine(line))
        return false;
    vCommand = name;
    return true;
}

void frmMain::abandonSession(const QString &message)
{
    forgetReplies();
    stopWaitingForReply();
    m_loginPhase = LoginPhase::None;
    if (!message.isEmpty())
        msgBoxUnlessMinimized(message);
    EndProgress();
    bRelogin = false;
    EnableControls(true);
    ResetSession();
}

void frmMain::connectionLost()
{
    // Report once, then give the window back in the logged-out state.
    abandonSession(QStringLiteral("The connection to the mail server has been lost.") + CrLf
                   + QStringLiteral("Please login again."));
}

bool frmMain::upgradingToTls() const
{
    return m_loginPhase == LoginPhase::Stls || m_loginPhase == LoginPhase::Upgrading;
}

void frmMain::stlsFailed(const QString &reason)
{
    // The server offered encryption: going on in plain text would hand the
    // password to whoever prevented it.
    abandonSession(QStringLiteral("The mail server offers a secure connection (STLS), but it could not be set up:")
                   + CrLf + reason + CrLf
                   + QStringLiteral("The login has been stopped; your user name and password were not sent."));
}

void frmMain::setReplyTimeout(int ms)
{
    m_replyTimer->setInterval(ms);
}

void frmMain::setReplyDeadline(qint64 fixedMs, qint64 minBytesPerSecond)
{
    m_replyDeadline.setLimits(fixedMs, minBytesPerSecond);
}

void frmMain::setReplyLimits(const Pop3ReplyReader::Limits &limits)
{
    m_replyReader->setLimits(limits);
}

void frmMain::watchForReply()
{
    // Any sign of life restarts the wait for silence; nothing outstanding
    // ends it. A TLS handshake is waited for like a reply.
    const bool waiting = m_replyReader->expectedCount() > 0 || m_loginPhase == LoginPhase::Upgrading;
    if (!waiting || sockPOP3->State() == TcpClientSocket::sckClosed) {
        stopWaitingForReply();
        return;
    }
    // While replies are being handled a box may wait for the user, which
    // is no silence nor slowness of the server's: the waits go on once the
    // handlers have returned.
    if (m_heldSocketEvents.isHandling()) {
        m_replyTimer->stop();
        m_deadlineTimer->stop();
        return;
    }
    m_replyTimer->start();
    watchReplyDeadline();
}

// Each reply's time runs from when it is awaited, or from when the one
// before it came whole; signs of life do not restart it.
void frmMain::watchReplyDeadline()
{
    const qint64 reply = m_replyReader->completedCount();
    if (!m_replyDeadline.isRunning() || reply != m_deadlineReply) {
        m_deadlineReply = reply;
        // Before the login proper every reply is a short one.
        m_replyDeadline.start(m_loginPhase == LoginPhase::None && m_replyReader->awaitsMultiLine());
    }
    m_deadlineTimer->start(int(qMin<qint64>(m_replyDeadline.remainingMs(), std::numeric_limits<int>::max())));
}

void frmMain::stopWaitingForReply()
{
    m_replyTimer->stop();
    m_deadlineTimer->stop();
    m_replyDeadline.stop();
}

void frmMain::serverMisbehaved(const QString &reason)
{
    if (upgradingToTls()) {
        stlsFailed(reason);
        return;
    }
    // Told before anything is dropped; the connection is closed first, so
    // that nothing it sends late is handled behind the message.
    if (sockPOP3->State() != TcpClientSocket::sckClosed)
        sockPOP3->Close();
    msgBoxUnlessMinimized(reason + CrLf + QStringLiteral("The connection has been closed."));
    abandonSession();
}

void frmMain::replyTimedOut()
{
    // A server that stops answering must not freeze the window for ever.
    serverMisbehaved(QStringLiteral("The mail server did not answer for ")
                     + QString::number(m_replyTimer->interval() / 1000) + QStringLiteral(" seconds."));
}

void frmMain::replyOverdue()
{
    // The time may have grown with the octets since the timer was set.
    if (const qint64 left = m_replyDeadline.remainingMs(); left > 0) {
        m_deadlineTimer->start(int(qMin<qint64>(left, std::numeric_limits<int>::max())));
        return;
    }
    serverMisbehaved(QStringLiteral("The mail server did not finish its reply within ")
                     + QString::number(m_replyDeadline.allowedMs() / 1000) + QStringLiteral(" seconds."));
}

void frmMain::replyTooLong()
{
    const QString what = m_replyReader->overflow() == Pop3ReplyReader::Overflow::Line ? QStringLiteral("a line")
                                                                                       : QStringLiteral("a reply");
    serverMisbehaved(QStringLiteral("The mail server sent ") + what + QStringLiteral(" longer than ")
                     + QString::number(m_replyReader->overflowLimit()) + QStringLiteral(" bytes."));
}

bool frmMain::SendUser(const QString &user)
{
    return sendCommand(line(Verb::User, user));
}

bool frmMain::SendPass(const QString &password)
{
    return sendCommand(line(Verb::Pass, password));
}

bool frmMain::SendStat()
{
    return sendCommand(line(Verb::Stat));
}

bool frmMain::SendList(int n)
{
    if (n == 0) {
        showSizeListProgress();
        return sendListOfAll();
    }
    StartProgress();
    bListOne = true;
    bListForView = true;
    return sendCommand(line(Verb::List, n));
}

void frmMain::showSizeListProgress()
{
    StartProgress();
    ShowProgressText(QStringLiteral("Getting message statistics.."));
    SetProgressMax(100);
    SetProgressValue(1);
}

bool frmMain::sendListOfAll()
{
    bListOne = false;
    bListForView = false;
    // Sent with the ids where the server takes pipelined commands.
    if (std::exchange(m_listSentAhead, false)) {
        vCommand = Verb::List;
        return true;
    }
    return sendCommand(line(Verb::List));
}

bool frmMain::SendUidl()
{
    StartProgress();
    ShowProgressText(QStringLiteral("Getting message ids.."));
    SetProgressMax(100);
    SetProgressValue(1);
    if (std::exchange(m_uidlSentAhead, false)) {
        vCommand = Verb::Uidl;
        return true;
    }
    return sendCommand(line(Verb::Uidl));
}

bool frmMain::SendTop(int n, int lines)
{
    bTopDone = false;
    return sendCommand(line(Verb::Top, n, lines));
}

bool frmMain::SendRetr(int n)
{
    StartProgress();
    ShowProgressText(QStringLiteral("Retrieving message ") + QString::number(n));
    SetProgressMax(lRetrSize);
    SetProgressValue(0);
    // The reader hands the mail on as it arrives (StreamedMultiLine).
    return sendCommand(line(Verb::Retr, n));
}

bool frmMain::SendDele(int n)
{
    return sendCommand(line(Verb::Dele, n));
}

bool frmMain::SendRset()
{
    return sendCommand(line(Verb::Rset));
}

bool frmMain::SendQuit()
{
    return sendCommand(line(Verb::Quit));
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
    // The greeting comes first, then CAPA decides whether to upgrade (on a
    // plain port) and how to sign in.
    if (m_loginPhase == LoginPhase::None)
        StartPOP3Login();
}

void frmMain::sockPOP3_Encrypted()
{
    if (m_loginPhase != LoginPhase::Upgrading)
        return;
    // No second greeting follows the upgrade. What the server listed before
    // it may have been forged, and it may list more now (SCRAM, PIPELINING):
    // the list is asked for again and the sign-in starts from its answer.
    m_capabilities = {};
    m_serverPipelines = false;
    m_loginPhase = LoginPhase::Capa;
    sendLine(Pop3Command::bareLine(Verb::Capa));
}

void frmMain::sockPOP3_Close()
{
    if (m_heldSocketEvents.holdClose())
        return;
    if (upgradingToTls()) {
        stlsFailed(QStringLiteral("The mail server closed the connection."));
        return;
    }
    m_loginPhase = LoginPhase::None;
    // Closed in the middle of a login or a listing: its progress ends too.
    EndProgress();
    ResetSession();
}

void frmMain::sockPOP3_Error(int number, const QString &description)
{
    if (m_heldSocketEvents.holdError(number, description))
        return;
    // A failed connection answers nothing more.
    stopWaitingForReply();
    if (number == TcpClientSocket::sckCertificateRefused && certificateRefused(description))
        return;
    if (upgradingToTls()) {
        stlsFailed(description);
        return;
    }
    m_loginPhase = LoginPhase::None;
    msgBoxUnlessMinimized(QStringLiteral("Error") + CrLf + QString::number(number) + u' ' + description, MsgIcon::None,
                          AppTitle);
    RecoverFromError();
}
