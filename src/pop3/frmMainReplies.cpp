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
        DispatchReply(m_replyReader->takeReply());
        strPrevCommand = vCommand;
    }
    WatchForReply();
}

void frmMain::DispatchReply(const QString &reply)
{
    if (Pop3ReplyReader::isError(reply)) {
        ServerErrorPath(reply);
        return;
    }
    if (strPrevCommand == QLatin1String("USER ")) {
        SetProgressValue(1);
        SendPass(strPassword);
    } else if (strPrevCommand == QLatin1String("PASS ")) {
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
