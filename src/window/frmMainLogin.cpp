// The Login / Logout button.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/clsUIDL.h"
#include "net/CertificateTrust.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/FlexGrid.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace modProgress;

bool frmMain::isHotmailUser(const QString &user) const
{
    // "@" and the domain, with at least one character before the "@";
    // letter case counts.
    for (const QString &domain : {clsHotmail::HotmailDomain, clsHotmail::MsnDomain}) {
        if (user.indexOf(u'@' + domain) >= 1)
            return true;
    }
    return false;
}

void frmMain::cmdLogin_Click()
{
    const QString caption = cmdLogin->text();
    if (isSigningIn()) {
        cancelSignIn();
        return;
    }
    if (caption == QLatin1String("Login")) {
        // With a Microsoft POP3 server typed, a Hotmail or MSN name is an
        // Outlook.com mailbox over POP3.
        if (isHotmailUser(txtUser->text()) && !isMicrosoftServerTyped()) {
            bHotmailMode = true;
            bPOP3Mode = false;
            loginHotmail();
        } else {
            bPOP3Mode = true;
            bHotmailMode = false;
            loginPop3();
        }
        return;
    }
    if (caption != QLatin1String("Logout"))
        return;

    if (!ckAutoLogin->isChecked() && !bMinimized) {
        if (MsgBox(this, QStringLiteral("Confirm Logout?"), MsgButtons::YesNo, MsgIcon::Question, MsgTitle)
            != MsgAnswer::Yes)
            return;
    }
    fraStats->hide();
    fraBrowse->hide();
    fraRetrieval->hide();
    fraDeletion->hide();
    if (bPOP3Mode) {
        // RSET and QUIT go out back to back; the first reply resets the window.
        // Before the mailbox was opened (a refused password) there is
        // nothing to reset, and servers refuse RSET there.
        const bool sent = ckUpdtChanges->isChecked() || !bStatDone || SendRset();
        if (sent)
            SendQuit();
    } else if (bHotmailMode) {
        if (objHotmail)
            objHotmail->CloseConnection();
        objHotmail.reset();
        ResetSession();
    }
    if (ckAutoLogin->isChecked())
        timLogin->start();
}

void frmMain::loginPop3()
{
    qint64 port = 0;
    if (!vb::ParseWholeNumber(cboPort->currentText(), 1, 65535, &port)) {
        bPOP3Mode = false;
        msgBoxUnlessMinimized(QStringLiteral("The port must be a whole number from 1 to 65535."));
        return;
    }
    strMailServer = txtMailServer->text();
    iPort = int(port);
    if (sockPOP3->State() != TcpClientSocket::sckClosed)
        sockPOP3->Close();
    vCommand.clear();
    strPrevCommand.clear();
    vUser = txtUser->text();
    strPassword = txtPwd->text();
    bStatDone = false;

    ckUpdtChanges->hide();
    cmdHlpUpdtChanges->hide();
    grdMails->Clear();
    grdMails->SetRows(2);
    grdStats->Clear();
    grdStats->hide();
    fraStats->hide();
    fraBrowse->hide();
    cmdStats->show();
    cmdLogin->setEnabled(false);
    // A login that signs in in the browser connects once it has its token.
    if (!startOAuthLogin())
        connectPop3();
}

void frmMain::connectPop3()
{
    objUIDL = std::make_unique<clsUIDL>();
    objUIDL->LoadFromFile(UidlStoreFileName(vUser, strMailServer));
    colNewMails = std::make_unique<NewMailList>();

    forgetReplies();
    m_serverPipelines = false;
    m_heldSocketEvents.dropHeld();
    m_replyReader->expectGreeting();
    // POP3S is TLS from the start. The greeting is awaited either way: CAPA
    // tells how to sign in, and elsewhere whether to upgrade with STLS.
    const bool implicitTls = UsesImplicitTls(iPort);
    m_loginPhase = LoginPhase::Greeting;
    m_greeting.clear();
    m_capabilities = {};
    m_signInMethods.clear();
    m_authExchange.reset();
    m_saslClient.reset();
    connect(sockPOP3, &TcpClientSocket::encrypted, this, &frmMain::sockPOP3_Encrypted, Qt::UniqueConnection);
    sockPOP3->setImplicitTls(implicitTls);
    sockPOP3->SetRemoteHost(strMailServer);
    sockPOP3->SetRemotePort(iPort);
    sockPOP3->setTrustedFingerprint(CertificateTrust().trustedFingerprint(strMailServer, iPort));
    sockPOP3->Connect();
    // Connecting and the TLS handshake are bounded like any wait for a reply.
    watchForReply();

    StartProgress();
    ShowProgressText(QStringLiteral("Logging in to mailbox.."));
    SetProgressMax(3);
}

void frmMain::loginHotmail()
{
    for (int attempt = 1; attempt <= 5; ++attempt) {
        StartProgress();
        SetProgressMax(2);
        SetProgressValue(1);
        ShowProgressText(QStringLiteral("Logging in to your Passport account (Attempt ") + QString::number(attempt)
                         + QStringLiteral(")..."));
        objHotmail = m_httpMailEndpoint.isEmpty() ? std::make_unique<clsHotmail>()
                                                  : std::make_unique<clsHotmail>(QUrl(m_httpMailEndpoint));
        if (m_httpMailTimeoutMs > 0)
            objHotmail->setTimeout(m_httpMailTimeoutMs);
        vUser = txtUser->text();
        strPassword = txtPwd->text();
        objHotmail->DoLogin(vUser, strPassword);
        if (!objHotmail->GetError().isEmpty())
            continue;
        ShowProgressText(QStringLiteral("Retrieving your Inbox.."));
        colHotmailIds = objHotmail->GetInboxMails();
        SetProgressValue(2);
        EndProgress();
        if (objHotmail->GetError().isEmpty() && !colHotmailIds.isEmpty()) {
            ShowHotmailStats();
            return;
        }
    }
    msgBoxUnlessMinimized(
        QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or Hotmail "
                       "servers are busy.\r\n Please try again. "));
    EndProgress();
}
