// Header retrieval: the headers of a range of mails, filtered, into the mail
// grid. POP3 goes on from each TOP reply, with one TOP on the wire or, where
// the server takes pipelined commands, a window of them; each reply is
// handled as if it were the only one. HTTPMail reads the records fetched at
// login.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/MailNumbers.h"
#include "message/HeaderText.h"
#include "pop3/Pop3Replies.h"
#include "window/FlexGrid.h"
#include "window/MailboxControls.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/VbColor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

using namespace modProgress;
using vb::CrLf;

namespace {

const QString NewMailColor = QStringLiteral("&HFF0000");

QString ltrimBlanks(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    return text.mid(i);
}

// A filter of blanks only is no filter; otherwise a plain substring test
// that ignores letter case. An empty field contains nothing.
bool passesFilter(const QString &field, const QString &filter)
{
    if (ltrimBlanks(filter).isEmpty())
        return true;
    return field.toLower().contains(filter.toLower());
}

void addGridRow(FlexGrid *grid, const QStringList &cells, bool newMail)
{
    grid->AddRow(cells);
    if (newMail) {
        const int row = grid->Rows() - 1;
        const QColor blue = vb::ColorFromLiteral(NewMailColor);
        for (int c = 0; c <= 4; ++c)
            grid->SetCellForeColor(row, c, blue);
    }
}

} // namespace

void frmMain::cmdShow_Click()
{
    if (cmdShow->text() == QLatin1String("Show")) {
        int from = 0;
        int till = 0;
        if (!startRangeOperation(cboFrom, cboTill, QStringLiteral("Fetching message "), &from, &till))
            return;
        if (sizeListOnItsWay()) {
            // The headers are matched with the sizes, which are still coming.
            waitForSizeList(AfterSizeList::Show);
            return;
        }
        EnableControls(false);
        mailbox::showAsStopButton(cmdShow);
        StartRetrieval(from, till);
    } else if (cmdShow->text() == QLatin1String("Stop") && bPOP3Mode) {
        // Takes effect once the outstanding reply has been handled.
        bStopRequested = true;
    }
}

bool frmMain::startRangeOperation(const QComboBox *fromBox, const QComboBox *tillBox, const QString &caption, int *from,
                                  int *till)
{
    if (!mailbox::readMailRange(fromBox->currentText(), tillBox->currentText(), from, till)) {
        msgBoxUnlessMinimized(mailbox::RangeNotValid);
        return false;
    }
    bStopRequested = false;
    StartProgress();
    ShowProgressText(caption + fromBox->currentText());
    SetProgressMax(*till);
    return true;
}

void frmMain::StartRetrieval(int iFrom, int /*iTill: the end is read from cboTill at every step*/)
{
    grdMails->SetRows(2);
    grdMails->Clear();
    grdMails->SetFixedRows(1);
    grdMails->SetCols(6);
    grdMails->SetRow(0);
    grdMails->SetCol(0);
    const QStringList headings = {QStringLiteral("Date"), QStringLiteral("From"), QStringLiteral("Subject"),
                                  QStringLiteral("Id"),   QStringLiteral("Size"), QStringLiteral("URL")};
    const int widths[] = {1270, 2000, 3000, 700, 1000, 0};
    for (int c = 0; c < 6; ++c) {
        grdMails->SetTextMatrix(0, c, headings[c]);
        grdMails->SetColWidthTwips(c, widths[c]);
    }
    iCurMail = iFrom;
    if (bPOP3Mode) {
        m_sweep.start(iFrom, commandWindow());
        askForHeaders();
    } else if (bHotmailMode)
        FetchHotmailHeaders();
}

// The first row of the size list that names the mail. The list is in mail
// order, so the mail's own row is tried before the others.
int frmMain::statsRowOfMail(int mail) const
{
    const auto names = [&](int r) { return vb::Val(grdStats->TextMatrix(r, 0)) == double(mail); };
    if (mail >= 1 && mail < grdStats->Rows() && names(mail)) {
        bool earlier = false;
        for (int r = mail - 1; r >= 1 && !earlier && vb::Val(grdStats->TextMatrix(r, 0)) >= double(mail); --r)
            earlier = names(r);
        if (!earlier)
            return mail;
    }
    for (int r = 1; r < grdStats->Rows(); ++r)
        if (names(r))
            return r;
    return -1;
}

void frmMain::ProcessTopReply(const QString &sReply)
{
    m_sweep.replyArrived();
    bTopDone = m_sweep.inFlight() == 0;
    Pop3Replies::HeaderFields fields;
    if (!Pop3Replies::topHeaderFields(sReply, &fields)) {
        retrievalFailed();
        return;
    }
    const int mail = iCurMail;
    const int statsRow = statsRowOfMail(mail);
    // With the mail's size at hand nothing below can fail: the next header
    // is asked for first, and the server answers while this one is shown.
    NextHeader next = statsRow >= 0 ? askForNextHeader() : NextHeader::NotYetAsked;
    // A session lost on the way has reset the window.
    if (next == NextHeader::ConnectionLost)
        return;
    if (!showHeaderRow(mail, statsRow, fields)) {
        retrievalFailed();
        return;
    }
    if (next == NextHeader::NotYetAsked)
        next = askForNextHeader();
    if (next == NextHeader::RangeDone)
        endRetrieval();
}

// Adds the mail's row unless the filters hide it; false when it is shown
// but the size list does not name it.
bool frmMain::showHeaderRow(int mail, int statsRow, const Pop3Replies::HeaderFields &fields)
{
    // Shown and filtered as the user reads them: encoded words and 8-bit
    // text decoded.
    const QString date = HeaderText::decode(fields.date);
    const QString sender = HeaderText::decode(fields.sender);
    const QString subject = HeaderText::decode(fields.subject);

    const QString mailText = QString::number(mail);
    const bool isNew = isNewMail(mailText);
    bool shown = passesFilter(sender, txtFrom->text()) && passesFilter(subject, txtSubject->text());
    if (shown && ckShowOnlyNew->isChecked())
        shown = isNew;

    if (shown) {
        if (statsRow < 0)
            return false;
        grdStats->FollowRow(statsRow);
        const QString size = grdStats->TextMatrix(statsRow, 1);
        addGridRow(grdMails, {date, sender, subject, mailText, size}, isNew);
    }
    grdMails->SetTopRow(grdMails->Rows() - 1);
    return true;
}

frmMain::NextHeader frmMain::askForNextHeader()
{
    if (CheckInterrupt()) {
        endSweep();
        return NextHeader::Stopped;
    }
    if (!nextMailInRange()) {
        endSweep();
        return NextHeader::RangeDone;
    }
    // Asked before the step is shown: a frame painted with it then overlaps
    // the server's answer instead of holding the question back.
    if (!askForHeaders())
        return NextHeader::ConnectionLost;
    showFetchProgress();
    return NextHeader::Asked;
}

bool frmMain::askForHeaders()
{
    if (!m_sweep.refillDue())
        return true;
    beginBatch();
    while (m_sweep.isRunning() && m_sweep.nextMail() <= std::numeric_limits<int>::max()) {
        const int mail = int(m_sweep.nextMail());
        // The first mail is asked for whatever the end box says; each later
        // one only while the end reaches it, as one at a time would.
        if (mail != iCurMail && !rangeReaches(mail))
            break;
        const qint64 bytes = HeaderSweep::expectedReplyBytes(sizeListSize(mail));
        if (!m_sweep.hasRoomFor(bytes))
            break;
        if (!SendTop(mail, 10))
            return false; // the connection is lost, and the window reset
        m_sweep.asked(bytes);
    }
    return endBatch();
}

bool frmMain::rangeReaches(qint64 mail) const
{
    return vb::Val(cboTill->currentText()) > double(mail - 1);
}

qint64 frmMain::sizeListSize(int mail) const
{
    const int row = statsRowOfMail(mail);
    if (row < 0)
        return -1;
    bool ok = false;
    const qint64 size = grdStats->TextMatrix(row, 1).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

void frmMain::endSweep()
{
    bTopDone = true;
    // What one at a time would not have asked for is read and dropped.
    const int unanswered = m_sweep.end();
    expectLateReplies(LateReply::Kind::Top, QList<int>(unanswered, 0));
}

// The end of the range is read again at every step: the user may change it.
bool frmMain::moveToNextMail()
{
    if (!nextMailInRange())
        return false;
    showFetchProgress();
    return true;
}

bool frmMain::nextMailInRange()
{
    if (!(vb::Val(cboTill->currentText()) > double(iCurMail) && iCurMail < std::numeric_limits<int>::max()))
        return false;
    ++iCurMail;
    return true;
}

void frmMain::showFetchProgress()
{
    ShowProgressText(QStringLiteral("Fetching message ") + QString::number(iCurMail));
    SetProgressValue(iCurMail);
}

void frmMain::endRetrieval()
{
    grdMails->Settle();
    EndProgress();
    EnableControls(true);
    cmdShow->setText(QStringLiteral("Show"));
}

void frmMain::retrievalFailed()
{
    endSweep();
    iCurMail = mailbox::mailNumberOf(cboTill->currentText());
    endRetrieval();
    msgBoxUnlessMinimized(QStringLiteral("There was an error getting mail config info from the server") + CrLf
                          + QStringLiteral("Please login again"));
}

void frmMain::FetchHotmailHeaders()
{
    const int till = mailbox::mailNumberOf(cboTill->currentText());
    for (qint64 i = mailbox::mailNumberOf(cboFrom->currentText()); i <= till; ++i) {
        if (i < 1 || i > colHotmailIds.size()) {
            // The listing fetched at login has no such mail.
            endRetrieval();
            msgBoxUnlessMinimized(QStringLiteral("Mail ") + QString::number(i)
                                  + QStringLiteral(" is not in the inbox listing.") + CrLf
                                  + QStringLiteral("Please login again"));
            return;
        }
        const clsHotmail::MailRecord &record = colHotmailIds[int(i - 1)];
        const QString readFlag = clsHotmail::GetFieldReadFlag(record);
        QString date = clsHotmail::GetFieldDate(record);
        date.replace(u'T', u' ');
        const QString sender = HeaderText::decodeEncodedWords(clsHotmail::GetFieldFrom(record));
        const QString subject = HeaderText::decodeEncodedWords(clsHotmail::GetFieldSubject(record));
        const QString length = clsHotmail::GetFieldLength(record);
        const QString url = clsHotmail::GetFieldURL(record);

        const bool isNew = readFlag == QLatin1String("0");
        bool shown = passesFilter(sender, txtFrom->text()) && passesFilter(subject, txtSubject->text());
        if (shown && ckShowOnlyNew->isChecked())
            shown = isNew;
        if (shown)
            addGridRow(grdMails, {date, sender, subject, QString::number(iCurMail), length, url}, isNew);

        grdMails->SetTopRow(grdMails->Rows() - 1);
        if (CheckInterrupt())
            return;
        if (!moveToNextMail())
            endRetrieval();
    }
}
