// Viewing a complete mail: fetched whole (POP3: LIST n for its size, then
// RETR n; HTTPMail: GET), written to "test.eml" and handed to a viewer.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/MailNumbers.h"
#include "mailbox/MessageFile.h"
#include "message/CMessage.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/FlexGrid.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <limits>

using namespace modProgress;

namespace {

const QString MessageFileName = QStringLiteral("test.eml");

// The mail number a grid Id stands for; 0 when it names none.
int MailNumberFromId(const QString &id)
{
    const int mail = mailbox::mailNumberOf(id);
    return mail >= 1 && mail < std::numeric_limits<int>::max() ? mail : 0;
}

} // namespace

void frmMain::mnuCompleteMail_Click()
{
    const int row = grdMails->Row();
    const QString sender = grdMails->TextMatrix(row, 1);
    const QString subject = grdMails->TextMatrix(row, 2);
    const QString id = grdMails->TextMatrix(row, 3);
    const QString url = grdMails->TextMatrix(row, 5);
    // The heading row is no mail, nor is an empty cell, nor a row that
    // names no mail the session could fetch.
    const bool names = bPOP3Mode ? MailNumberFromId(id) > 0 : bHotmailMode && !url.isEmpty();
    if (row == 0 || grdMails->TextMatrix(row, grdMails->Col()).isEmpty() || !names) {
        msgBoxUnlessMinimized(QStringLiteral("No mail selected for Viewing"));
        return;
    }
    if (MsgBox(this,
               QStringLiteral("From:") + sender + vb::CrLf + QStringLiteral("Subject:") + subject + vb::CrLf
                   + QStringLiteral("Want to View?"),
               MsgButtons::YesNo, MsgIcon::Question, MsgTitle)
        != MsgAnswer::Yes)
        return;

    EnableControls(false);
    m_messageFile.reset();
    if (bPOP3Mode) {
        // The LIST reply sends RETR; the complete RETR reply comes to ProcessRetrReply.
        SendList(MailNumberFromId(id));
        return;
    }
    ShowHotmailMail();
}

void frmMain::saveRetrPiece()
{
    // The mail goes to the file as it arrives, already dot-unstuffed.
    if (!m_replyReader->hasBody())
        return;
    if (!m_messageFile) {
        m_messageFile = std::make_unique<MessageFile>(messageFileFolders(), MessageFileName);
        m_messageFile->open();
    }
    m_messageFile->write(m_replyReader->takeBody());
    // Far beyond the size LIST gave, this is no longer that mail: a server
    // that sends without end must not fill the disk.
    if (m_messageFile->size() > MessageSizeLimit(lRetrSize))
        retrReplyTooLong();
}

void frmMain::retrReplyTooLong()
{
    const qint64 announced = lRetrSize;
    // Closed first, so nothing more of it is read behind the message.
    sockPOP3->Close();
    m_messageFile.reset();
    abandonSession(QStringLiteral("The mail server sent far more than the ") + QString::number(announced)
                   + QStringLiteral(" bytes it announced for the mail; the mail has not been saved.") + vb::CrLf
                   + QStringLiteral("The connection has been closed. Please login again."));
}

void frmMain::ProcessRetrReply(const QString &sReply)
{
    Q_UNUSED(sReply) // the mail itself went to the file as it came
    EndProgress();
    finishMessageFile();
    EnableControls(true);
    bListForView = false;
    lRetrSize = 0;
}

void frmMain::ShowHotmailMail()
{
    const QString url = grdMails->TextMatrix(grdMails->Row(), 5);
    StartProgress();
    ShowProgressText(QStringLiteral("Fetching message from hotmail..."));
    SetProgressMax(100);
    SetProgressValue(1);
    bool fetched = false;
    const QByteArray octets = objHotmail ? objHotmail->GetCompleteMailOctets(url, &fetched) : QByteArray();
    EnableControls(true);
    SetProgressValue(100);
    EndProgress();
    if (!fetched) {
        // An error page is no mail: nothing is shown and nothing marked read.
        msgBoxUnlessMinimized(QStringLiteral("The mail could not be fetched from hotmail.") + vb::CrLf
                              + (objHotmail ? objHotmail->GetLastRequestError() : QString()));
        return;
    }
    // Read only once the user has it in a viewer.
    if (!saveAndOpenMessage(octets) || !objHotmail)
        return;
    if (!objHotmail->MarkAsRead(url) && !bMinimized)
        MsgBox(this,
               QStringLiteral("The mail could not be marked as read on hotmail.") + vb::CrLf
                   + objHotmail->GetLastRequestError(),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
}

bool frmMain::saveAndOpenMessage(const QByteArray &octets)
{
    m_messageFile = std::make_unique<MessageFile>(messageFileFolders(), MessageFileName);
    if (m_messageFile->open())
        m_messageFile->write(octets);
    return finishMessageFile();
}

bool frmMain::finishMessageFile()
{
    // A mail without a single line still makes a file, an empty one.
    std::unique_ptr<MessageFile> file = std::move(m_messageFile);
    if (!file) {
        file = std::make_unique<MessageFile>(messageFileFolders(), MessageFileName);
        file->open();
    }
    // A mail without an empty line is still the mail; the parser's notice
    // says it has no body.
    if (!file->hasEmptyLine())
        CMessage::ReportInvalidFormat();
    if (!file->finish()) {
        QStringList folders;
        for (const QString &folder : messageFileFolders())
            folders << QDir::toNativeSeparators(folder);
        msgBoxUnlessMinimized(QStringLiteral("The message could not be saved as ") + MessageFileName
                              + QStringLiteral(" in ") + folders.join(QStringLiteral(" or in ")) + vb::CrLf
                              + file->errorString());
        return false;
    }
    return openMessageFile(file->path());
}

QStringList frmMain::messageFileFolders() const
{
    // The program folder first where it is the user's; else, and where it
    // cannot be written, the user's data folder, so that no viewer is ever
    // handed an old file or none.
    return MessageFileFolders(programFolder(), m_dataFolder.isEmpty()
                                                   ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                                   : m_dataFolder);
}

QString frmMain::programFolder() const
{
    return m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
}

void frmMain::viewerFailed(const QString &viewer, const QString &path)
{
    msgBoxUnlessMinimized(QStringLiteral("The ") + viewer + QStringLiteral(" could not be started.") + vb::CrLf
                          + QStringLiteral("The message is in ") + QDir::toNativeSeparators(path));
}

bool frmMain::openMessageFile(const QString &path)
{
    Platform &platform = Platform::current();
    if (platform.hasMailViewer()) {
        if (platform.openDocument(path))
            return true;
        viewerFailed(QStringLiteral("mail viewer"), path);
        return false;
    }
    if (platform.startTextViewer(path))
        return true;
    viewerFailed(QStringLiteral("text viewer"), path);
    return false;
}

void frmMain::endViewing()
{
    // The session ends while a view waits for LIST or RETR: the window is
    // given back.
    if (!bListForView || (vCommand != Pop3Command::Verb::List && vCommand != Pop3Command::Verb::Retr))
        return;
    bListForView = false;
    lRetrSize = 0;
    m_messageFile.reset(); // half a mail is no message file: removed
    EndProgress();
    EnableControls(true);
}
