// Everything the POP3 server sends arrives here. Replies are framed on the
// joined stream, then each complete reply runs through the dispatch once.

#include "app/frmMain.h"

#include "app/MessageBoxes.h"
#include "app/StatusLamp.h"
#include "app/TcpClientSocket.h"
#include "app/VbColor.h"
#include "app/modProgress.h"
#include "pop3/Pop3ReplyReader.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

using namespace modProgress;

void frmMain::sockPOP3_DataArrival(qint64 bytesTotal)
{
    QString chunk;
    sockPOP3->GetData(chunk);
    if (chunk.isEmpty())
        return;
    if (vCommand == QLatin1String("RETR ")) {
        // The bar counts octets of the mail as they come, never past its size.
        SetProgressValue(qMin(GetProgressValue() + qMax<qint64>(bytesTotal, chunk.size()), GetProgressMax()));
    }
    m_replyReader->feed(chunk);
    // A handler may close the connection (QUIT, lost session); stop then.
    while (sockPOP3->State() != TcpClientSocket::sckClosed && m_replyReader->hasReply()) {
        const QString reply = m_replyReader->takeReply();
        if (m_loginPhase != LoginPhase::None)
            PreLoginReply(reply);
        else
            DispatchReply(reply);
        strPrevCommand = vCommand;
    }
    WatchForReply();
}

namespace {

bool offersStls(const QString &capaReply)
{
    const QStringList lines = Pop3ReplyReader::content(capaReply).split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        if (line.section(u' ', 0, 0).compare(QLatin1String("STLS"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

void frmMain::PreLoginReply(const QString &reply)
{
    // The command names stay empty throughout, so the dialogue below finds
    // them as it would after the greeting.
    switch (m_loginPhase) {
    case LoginPhase::Greeting:
        if (Pop3ReplyReader::isError(reply)) {
            m_loginPhase = LoginPhase::None;
            ServerErrorPath(reply);
            return;
        }
        m_loginPhase = LoginPhase::Capa;
        SendLoginLine(QStringLiteral("CAPA\r\n"), int(Pop3ReplyReader::Kind::MultiLine));
        return;
    case LoginPhase::Capa:
        if (!Pop3ReplyReader::isError(reply) && offersStls(reply)) {
            m_loginPhase = LoginPhase::Stls;
            SendLoginLine(QStringLiteral("STLS\r\n"), int(Pop3ReplyReader::Kind::SingleLine));
            return;
        }
        // No capability list, or no STLS in it: the plain dialogue.
        m_loginPhase = LoginPhase::None;
        StartPOP3Login();
        return;
    case LoginPhase::Stls:
        if (Pop3ReplyReader::isError(reply)) {
            StlsFailed(QStringLiteral("It refused STLS: ") + reply.trimmed());
            return;
        }
        m_loginPhase = LoginPhase::Upgrading;
        // Anything after the STLS reply came unencrypted: it is dropped.
        m_replyReader->clear();
        if (!sockPOP3->StartClientEncryption())
            StlsFailed(QStringLiteral("The connection could not be upgraded."));
        return;
    case LoginPhase::Upgrading:
    case LoginPhase::None:
        return;
    }
}

void frmMain::DispatchReply(const QString &reply)
{
    if (Pop3ReplyReader::isError(reply)) {
        ServerErrorPath(reply);
        return;
    }
    // Only while USER or PASS is the outstanding command: after a refused
    // password the logout's replies must not carry the login on.
    if (strPrevCommand == QLatin1String("USER ") && vCommand == QLatin1String("USER ")) {
        SetProgressValue(1);
        SendPass(strPassword);
    } else if (strPrevCommand == QLatin1String("PASS ") && vCommand == QLatin1String("PASS ")) {
        SetProgressValue(2);
        shpStatus->SetFillColor(vb::ColorFromLiteral(QStringLiteral("&H00FF00")));
        SendStat();
    } else if (vCommand == QLatin1String("DELE ")) {
        ckUpdtChanges->setVisible(true);
        ckUpdtChanges->setChecked(true);
        if (ckHelpFlag->isChecked())
            cmdHlpUpdtChanges->setVisible(true);
        bReplyReceived = true;
        DeleReplyArrived(true);
    } else if (strPrevCommand == QLatin1String("STAT ") && !bStatDone) {
        SetProgressValue(3);
        ShowMailboxStats(reply);
    } else if (vCommand == QLatin1String("LIST ") && !bListOne) {
        strListReply = reply;
        ProcessListReply(strListReply);
    } else if (vCommand == QLatin1String("LIST ") && bListForView) {
        strListReply = reply;
        ProcessListReply(strListReply);
    } else if (vCommand == QLatin1String("UIDL ")) {
        strUIDLReply = reply;
        ProcessUidlReply(strUIDLReply);
    } else if (vCommand == QLatin1String("TOP ") && !bTopDone) {
        strTopReply = reply;
        ProcessTopReply(strTopReply);
    } else if (vCommand == QLatin1String("RETR ")) {
        strRetrReply = reply;
        ProcessRetrReply(strRetrReply);
    } else if (vCommand == QLatin1String("QUIT ")) {
        ResetSession();
    }
}

void frmMain::ServerErrorPath(const QString &reply)
{
    if (strPrevCommand == QLatin1String("UIDL ")) {
        // No unique ids on this server: go on without new-mail detection.
        bUIDLFailed = true;
        cmdStats_Click();
    } else if (!bMinimized) {
        MsgBox(this, QStringLiteral("Server error\r\n") + reply, MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
    }
    prgProgress->hide();
    lblProgress->clear();
    RecoverFromError();
    EnableControls(true);
    if (strPrevCommand == QLatin1String("PASS "))
        cmdLogin->setText(QStringLiteral("Logout"));
    if (vCommand == QLatin1String("DELE "))
        DeleReplyArrived(false);
}
