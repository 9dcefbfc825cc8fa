// Everything the POP3 server sends arrives here. Replies are framed on the
// joined stream, then each complete reply runs through the dispatch once.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ReplyReader.h"
#include "pop3/Pop3SignIn.h"
#include "window/FramePacer.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

using namespace modProgress;
namespace Verb = Pop3Command::Verb;

void frmMain::sockPOP3_DataArrival(qint64 bytesTotal)
{
    QByteArray chunk;
    sockPOP3->GetData(chunk);
    if (chunk.isEmpty())
        return;
    m_replyDeadline.received(chunk.size());
    if (vCommand == Verb::Retr) {
        // The bar counts octets of the mail as they come, never past its size.
        SetProgressValue(qMin(GetProgressValue() + qMax<qint64>(bytesTotal, chunk.size()), GetProgressMax()));
    }
    m_replyReader->feed(chunk);
    saveRetrPiece();
    // A handler's box runs the event loop while it waits for the user; what
    // arrives meanwhile waits too, and is handled in order once the handler
    // has returned.
    if (!m_heldSocketEvents.isHandling())
        handleReplies();
}

void frmMain::handleReplies()
{
    m_heldSocketEvents.startHandling();
    // The server has answered; a box that a handler opens waits for the
    // user, which is no silence of the server's.
    m_replyTimer->stop();
    m_deadlineTimer->stop();
    // A handler may close the connection (QUIT, lost session); stop then.
    while (sockPOP3->State() != TcpClientSocket::sckClosed && m_replyReader->hasReply()) {
        const QString reply = m_replyReader->takeReply();
        m_pacer->holdUntilSent();
        if (!m_lateReplies.isEmpty())
            lateReplyArrived(m_lateReplies.dequeue(), reply);
        else if (m_loginPhase != LoginPhase::None)
            preLoginReply(reply);
        else
            dispatchReply(reply);
        m_pacer->letThrough();
        strPrevCommand = vCommand;
    }
    m_heldSocketEvents.endHandling();
    // More than may be held ends the session as a lost connection does,
    // after the replies that came before it.
    if (m_replyReader->overflow() != Pop3ReplyReader::Overflow::None
        && sockPOP3->State() != TcpClientSocket::sckClosed) {
        replyTooLong();
        return;
    }
    // The end of the connection, when it came while a box was open, comes
    // after every reply that the server sent before it.
    if (m_heldSocketEvents.takeClose(sockPOP3->State()))
        sockPOP3_Close();
    if (const auto error = m_heldSocketEvents.takeError(sockPOP3->State()))
        sockPOP3_Error(error->number, error->description);
    watchForReply();
}

namespace {

bool offersStls(const QString &capaReply)
{
    const QStringList lines = Pop3ReplyReader::content(capaReply).split(vb::CrLf);
    for (const QString &line : lines) {
        if (line.section(u' ', 0, 0).compare(Verb::Stls, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

void frmMain::preLoginReply(const QString &reply)
{
    // The command names stay empty throughout, so the dialogue below finds
    // them as it would after the greeting.
    switch (m_loginPhase) {
    case LoginPhase::Greeting:
        if (Pop3ReplyReader::isError(reply)) {
            m_loginPhase = LoginPhase::None;
            serverErrorPath(reply);
            return;
        }
        m_greeting = reply;
        m_loginPhase = LoginPhase::Capa;
        sendLine(Pop3Command::bareLine(Verb::Capa));
        return;
    case LoginPhase::Capa:
        m_capabilities = Pop3SignIn::parseCapa(reply);
        m_serverPipelines = m_capabilities.pipelining;
        if (!sockPOP3->isEncrypted() && !Pop3ReplyReader::isError(reply) && offersStls(reply)) {
            // What the server said before the upgrade may have been forged.
            m_serverPipelines = false;
            m_loginPhase = LoginPhase::Stls;
            sendLine(Pop3Command::bareLine(Verb::Stls));
            return;
        }
        // POP3S, or no STLS offered: on as the connection is.
        m_loginPhase = LoginPhase::None;
        if (sockPOP3->isEncrypted())
            startSignIn();
        else
            continueWithoutTls();
        return;
    case LoginPhase::Stls:
        if (Pop3ReplyReader::isError(reply)) {
            stlsFailed(QStringLiteral("It refused STLS: ") + reply.trimmed());
            return;
        }
        m_loginPhase = LoginPhase::Upgrading;
        // Anything after the STLS reply came unencrypted: it is dropped.
        m_replyReader->clear();
        if (!sockPOP3->startClientEncryption())
            stlsFailed(QStringLiteral("The connection could not be upgraded."));
        return;
    case LoginPhase::SignIn:
        signInReply(reply);
        return;
    case LoginPhase::Upgrading:
    case LoginPhase::None:
        return;
    }
}

void frmMain::dispatchReply(const QString &reply)
{
    if (Pop3ReplyReader::isError(reply)) {
        serverErrorPath(reply);
        return;
    }
    // Only while USER or PASS is the outstanding command: after a refused
    // password the logout's replies must not carry the login on.
    if (strPrevCommand == Verb::User && vCommand == Verb::User) {
        SetProgressValue(1);
        SendPass(strPassword);
    } else if (strPrevCommand == Verb::Pass && vCommand == Verb::Pass) {
        passwordAccepted();
    } else if (vCommand == Verb::Dele) {
        deleAccepted();
        deleReplyArrived(true);
    } else if (strPrevCommand == Verb::Stat && !bStatDone) {
        SetProgressValue(3);
        ShowMailboxStats(reply);
    } else if (vCommand == Verb::List && !bListOne) {
        ProcessListReply(reply);
    } else if (vCommand == Verb::List && bListForView) {
        ProcessListReply(reply);
    } else if (vCommand == Verb::Uidl) {
        ProcessUidlReply(reply);
    } else if (vCommand == Verb::Top && !bTopDone) {
        ProcessTopReply(reply);
    } else if (vCommand == Verb::Retr) {
        ProcessRetrReply(reply);
    } else if (vCommand == Verb::Quit) {
        ResetSession();
    }
}

void frmMain::deleAccepted()
{
    ckUpdtChanges->setVisible(true);
    ckUpdtChanges->setChecked(true);
    if (ckHelpFlag->isChecked())
        cmdHlpUpdtChanges->setVisible(true);
}

void frmMain::expectLateReplies(LateReply::Kind kind, const QList<int> &mails)
{
    for (int mail : mails)
        m_lateReplies.enqueue(LateReply{kind, mail});
}

void frmMain::lateReplyArrived(const LateReply &late, const QString &reply)
{
    // A mail the server deleted after all is marked like any other: the
    // next logout with "Update Changes" removes it. One it kept changes
    // nothing, and its refusal was said by the reply that ended the run.
    if (late.kind == LateReply::Kind::Dele && !Pop3ReplyReader::isError(reply))
        deleAccepted();
}

void frmMain::serverErrorPath(const QString &reply)
{
    const AfterSizeList waiting = m_afterSizeList;
    // A refused STAT: the ids asked for with it are not the login's.
    if (std::exchange(m_uidlSentAhead, false))
        expectLateReplies(LateReply::Kind::Uidl, {0});
    if (vCommand == Verb::Top && m_sweep.isRunning()) {
        // The sweep ends at the refused mail; the rest of its window is read
        // and dropped.
        m_sweep.replyArrived();
        endSweep();
    }
    if (strPrevCommand == Verb::Uidl) {
        // No unique ids on this server: go on without new-mail detection.
        bUIDLFailed = true;
        cmdStats_Click();
    } else {
        msgBoxUnlessMinimized(QStringLiteral("Server error") + vb::CrLf + reply);
    }
    prgProgress->hide();
    lblProgress->clear();
    RecoverFromError();
    EnableControls(true);
    if (strPrevCommand == Verb::Pass)
        cmdLogin->setText(QStringLiteral("Logout"));
    if (vCommand == Verb::Dele)
        deleReplyArrived(false);
    // Without ids the login goes on to the sizes; a click waiting for them
    // waits on.
    if (waiting != AfterSizeList::Nothing && sizeListOnItsWay())
        waitForSizeList(waiting);
}
