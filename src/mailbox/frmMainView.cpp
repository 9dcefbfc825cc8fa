// Viewing a complete mail: fetched whole (POP3: LIST n for its size, then
// RETR n; HTTPMail: GET), written to "test.eml" and handed to a viewer.

#include "app/frmMain.h"

#include "app/FlexGrid.h"
#include "app/MessageBoxes.h"
#include "app/VbHelpers.h"
#include "app/modProgress.h"
#include "desktop/Platform.h"
#include "httpmail/clsHotmail.h"
#include "message/CMessage.h"
#include "pop3/Pop3ReplyReader.h"
#include "pop3/Pop3Command.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <limits>

using namespace modProgress;

namespace {

const QString MessageFileName = QStringLiteral("test.eml");

// The mail number a grid Id stands for; 0 when it names none.
int MailNumberFromId(const QString &id)
{
    const double value = vb::Val(id);
    if (value < 1 || value >= double(std::numeric_limits<int>::max()))
        return 0;
    return int(vb::RoundHalfEven(value));
}

// The octets of a mail text fetched over HTTPMail, one per character. The
// text arrives decoded (its charset, else UTF-8, else Latin-1), so it is
// written back in the form that reads as the same text again: Latin-1 where
// that was the fallback, UTF-8 otherwise.
QString AsOctets(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return QString::fromLatin1(text.toUtf8());
        ascii = ascii && c.unicode() < 0x80;
    }
    if (ascii)
        return text;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(text.toLatin1()); // decodes only when converted
    Q_UNUSED(decoded)
    return utf8.hasError() ? text : QString::fromLatin1(text.toUtf8());
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
    strRetrReply.clear();
    if (bPOP3Mode) {
        // The LIST reply sends RETR; the complete RETR reply comes to ProcessRetrReply.
        SendList(MailNumberFromId(id));
        return;
    }
    ShowHotmailMail();
}

void frmMain::ProcessRetrReply(const QString &sReply)
{
    EndProgress();
    // The mail itself: no status line, no terminator, no doubled dots.
    SaveAndOpenMessage(Pop3ReplyReader::content(sReply));
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
    const QString text = objHotmail ? objHotmail->GetCompleteMail(url, &fetched) : QString();
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
    if (!SaveAndOpenMessage(AsOctets(text)) || !objHotmail)
        return;
    if (!objHotmail->MarkAsRead(url) && !bMinimized)
        MsgBox(this,
               QStringLiteral("The mail could not be marked as read on hotmail.") + vb::CrLf
                   + objHotmail->GetLastRequestError(),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
}

bool frmMain::SaveAndOpenMessage(const QString &sMsgText)
{
    CMessage message;
    message.CreateFromText(sMsgText);
    // A mail without a body has no empty line; it is still the mail.
    if (message.MessageText().isEmpty())
        message.setMessageText(sMsgText);
    const QString path = WriteMessageFile(message);
    if (path.isEmpty()) {
        msgBoxUnlessMinimized(
            QStringLiteral("The message could not be saved as ") + MessageFileName
            + QStringLiteral(" in the program folder or in ")
            + QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        return false;
    }
    return OpenMessageFile(path);
}

QString frmMain::WriteMessageFile(CMessage &message)
{
    // The program folder first; where it cannot be written, the user's data
    // folder, so that no viewer is ever handed an old file or none.
    const QString programFolder =
        m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    for (const QString &folder : {programFolder, dataFolder}) {
        if (folder.isEmpty())
            continue;
        if (folder == dataFolder)
            QDir().mkpath(folder);
        const QString path = QDir(folder).filePath(MessageFileName);
        QFile::remove(path); // a viewer may still hold it; saving truncates anyway
        const qsizetype logged = message.ErrorLog.size();
        message.SaveMessage(path);
        if (message.ErrorLog.size() == logged)
            return path;
    }
    return QString();
}

void frmMain::viewerFailed(const QString &viewer, const QString &path)
{
    msgBoxUnlessMinimized(QStringLiteral("The ") + viewer + QStringLiteral(" could not be started.") + vb::CrLf
                          + QStringLiteral("The message is in ") + QDir::toNativeSeparators(path));
}

bool frmMain::OpenMessageFile(const QString &path)
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

void frmMain::EndViewing()
{
    // The session ends while a view waits for LIST or RETR: the window is
    // given back.
    if (!bListForView || (vCommand != Pop3Command::Verb::List && vCommand != Pop3Command::Verb::Retr))
        return;
    bListForView = false;
    lRetrSize = 0;
    strRetrReply.clear();
    EndProgress();
    EnableControls(true);
}
