// Deletion by range (POP3, then a fresh login) and by grid selection (both
// account kinds). A POP3 deletion never waits in a loop of its own: each DELE
// reply continues it, so the window stays responsive and a session that ends
// meanwhile leaves nothing behind. A range keeps a window of DELEs on the
// wire where the server takes pipelined commands.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/MailNumbers.h"
#include "window/FlexGrid.h"
#include "window/MailboxControls.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <limits>
#include <utility>

using namespace modProgress;
using vb::CrLf;

namespace {

// Row 1 is the grid's last body row when two rows are left: the grid is
// emptied instead, headings included.
void removeGridRow(FlexGrid *grid, int row)
{
    if (grid->Rows() == 2)
        grid->Clear();
    else
        grid->RemoveItem(row);
}

} // namespace

void frmMain::cmdDelete_Click()
{
    if (bHotmailMode) {
        msgBoxUnlessMinimized(QStringLiteral("Please use grid selection for deleting hotmail mails"),
                              MsgIcon::Information);
        return;
    }
    if (!bPOP3Mode)
        return;
    if (cmdDelete->text() != QLatin1String("Delete")) {
        if (cmdDelete->text() == QLatin1String("Stop")) {
            bStopRequested = true;
            bRelogin = false;
        }
        return;
    }

    int from = 0;
    int till = 0;
    if (!startRangeOperation(cboDelFrom, cboDelTill, QStringLiteral("Deleting message "), &from, &till))
        return;
    if (sizeListOnItsWay()) {
        // The replies of the login come first; the deletion follows them.
        waitForSizeList(AfterSizeList::Delete);
        return;
    }
    grdMails->Clear();
    grdMails->SetRows(2);
    EnableControls(false);
    mailbox::showAsStopButton(cmdDelete);
    bRelogin = true;
    m_deletion.startRange(from, till, commandWindow());
    sendRangeDeles();
}

void frmMain::sendRangeDeles()
{
    beginBatch();
    const bool refill = m_deletion.refillDue();
    while (refill && m_deletion.hasRoomForDele()) {
        if (!SendDele(m_deletion.takeNextMail()))
            return; // the connection is lost, and the window reset
    }
    // Sent before the step is shown: a frame painted with it then overlaps
    // the server's answer.
    if (endBatch())
        showRangeProgress();
}

void frmMain::showRangeProgress()
{
    const int mail = m_deletion.awaitedMail();
    ShowProgressText(QStringLiteral("Deleting message ") + QString::number(mail));
    SetProgressValue(mail);
}

void frmMain::deleReplyArrived(bool accepted)
{
    const DeletionRun::Next next = m_deletion.replyArrived(accepted, bStopRequested);
    // DELEs still on the wire after the reply that ended a range: their
    // replies say which of those mails the server deleted.
    expectLateReplies(LateReply::Kind::Dele, m_deletion.takeUnanswered());
    switch (next) {
    case DeletionRun::Next::Nothing:
        return;
    case DeletionRun::Next::DeleNextMail:
        sendRangeDeles();
        return;
    case DeletionRun::Next::LogOff:
        // Logging off makes the server carry out the deletions; the reset that
        // follows the QUIT reply logs in again (bRelogin).
        StartProgress();
        ShowProgressText(QStringLiteral("Preparing to log off..."));
        cmdDelete->setEnabled(false);
        cmdShow->setEnabled(false);
        SendQuit();
        return;
    case DeletionRun::Next::RangeStopped:
        CheckInterrupt();
        EndProgress();
        EnableControls(true);
        return;
    case DeletionRun::Next::RangeRefused:
        // Reported by the reply handler, which gave the controls back; the
        // mails marked so far stay marked and the session stays open.
        bRelogin = false;
        bStopRequested = false;
        EndProgress();
        return;
    case DeletionRun::Next::OneRowDone:
        SetProgressValue(m_deletion.mail());
        EndProgress();
        endSelectionDeletion();
        return;
    case DeletionRun::Next::NextRow:
        deleteSelectedRowsFrom(m_deletion.nextRow());
        return;
    case DeletionRun::Next::RowsDone:
        finishRowsDeletion();
        return;
    case DeletionRun::Next::RowsRefused:
        bStopRequested = false;
        finishRowsDeletion();
        return;
    }
}

void frmMain::grdMails_MouseDown(int button, const QPoint &globalPos)
{
    if (!(button & 2))
        return;
    if (cmdShow->text() == QLatin1String("Stop") || cmdDelete->text() == QLatin1String("Stop")
        || !prgProgress->isHidden() || cmdLogin->text() != QLatin1String("Logout"))
        return;
    mnuCompleteMail->setEnabled(true);
    mnuDeleteMail->setEnabled(true);
    // Not exec(): the window's events go on while the menu is open.
    mnuMailOpts->popup(globalPos);
}

void frmMain::mnuDeleteMail_Click()
{
    if (m_deletion.isRunning())
        return; // one deletion at a time
    const int current = grdMails->Row();
    const int first = qMin(current, grdMails->RowSel());
    const int last = qMax(current, grdMails->RowSel());
    EnableControls(false);

    if (first == last) {
        deleteOneRow(current);
        return;
    }

    if (MsgBox(this,
               QStringLiteral("You have selected multiple mails to delete.") + CrLf + QStringLiteral(" From ")
                   + QString::number(first) + QStringLiteral(" to ") + QString::number(last) + CrLf
                   + QStringLiteral("Confirm?"),
               MsgButtons::YesNo, MsgIcon::Question, MsgTitle)
        != MsgAnswer::Yes) {
        endSelectionDeletion();
        return;
    }
    EnableControls(false);
    mailbox::showAsStopButton(cmdDelete);
    StartProgress();
    SetProgressMax(last);
    bStopRequested = false;
    m_deletion.startSelection(first);
    deleteSelectedRowsFrom(last);
}

void frmMain::deleteOneRow(int row)
{
    // The heading row is no mail, nor is an empty cell.
    if (row == 0 || grdMails->TextMatrix(row, grdMails->Col()).isEmpty()) {
        msgBoxUnlessMinimized(QStringLiteral("No mail selected for deletion"));
        endSelectionDeletion();
        return;
    }
    const QString sender = grdMails->TextMatrix(row, 1);
    const QString subject = grdMails->TextMatrix(row, 2);
    const QString id = grdMails->TextMatrix(row, 3);
    const QString url = grdMails->TextMatrix(row, 5);
    if (MsgBox(this,
               QStringLiteral("From:") + sender + CrLf + QStringLiteral("Subject:") + subject + CrLf
                   + QStringLiteral("Want to delete?"),
               MsgButtons::YesNo, MsgIcon::Question, MsgTitle)
        != MsgAnswer::Yes) {
        endSelectionDeletion();
        return;
    }
    removeGridRow(grdMails, row);
    const int mail = mailbox::mailNumberOf(id);
    StartProgress();
    ShowProgressText(QStringLiteral("Deleting mail ") + id);
    SetProgressMax(mail);
    if (bPOP3Mode) {
        m_deletion.startOneRow(mail);
        SendDele(mail); // continued in deleReplyArrived
        return;
    }
    if (bHotmailMode)
        deleteHotmailMail(id, url);
    SetProgressValue(mail);
    EndProgress();
    endSelectionDeletion();
}

void frmMain::deleteSelectedRowsFrom(int row)
{
    for (int r = row; r >= m_deletion.firstRow(); --r) {
        if (CheckInterrupt())
            break;
        const QString id = grdMails->TextMatrix(r, 3);
        const QString url = grdMails->TextMatrix(r, 5);
        grdMails->SetRow(r);
        removeGridRow(grdMails, r);
        qint64 mail = 0;
        if (!vb::ParseWholeNumber(id, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &mail))
            continue; // the empty row
        ShowProgressText(QStringLiteral("Deleting mail ") + QString::number(mail));
        SetProgressValue(r);
        if (bPOP3Mode) {
            m_deletion.deleForRow(r);
            SendDele(int(mail)); // continued in deleReplyArrived
            return;
        }
        if (bHotmailMode && !deleteHotmailMail(id, url))
            break;
    }
    finishRowsDeletion();
}

void frmMain::finishRowsDeletion()
{
    EndProgress();
    msgBoxUnlessMinimized(
        QStringLiteral("Deleted messages are not retrievable again till you log in again") + CrLf
            + QStringLiteral("Speed deletion is for doing multiple deletions at once without having to logout"),
        MsgIcon::Exclamation, AppTitle);
    endSelectionDeletion();
}

void frmMain::endSelectionDeletion()
{
    EnableControls(true);
    cmdDelete->setText(QStringLiteral("Delete"));
}

bool frmMain::deleteHotmailMail(const QString &id, const QString &url)
{
    if (objHotmail && objHotmail->DeleteMail(url))
        return true;
    msgBoxUnlessMinimized(QStringLiteral("Mail ") + id + QStringLiteral(" could not be deleted.") + CrLf
                          + (objHotmail ? objHotmail->GetLastRequestError() : QString()));
    return false;
}

void frmMain::endMailboxOperations()
{
    // The session ends (logout, lost connection) in the middle of an
    // operation: nothing of it goes on, and the window is given back.
    if (std::exchange(m_afterSizeList, AfterSizeList::Nothing) == AfterSizeList::Delete) {
        EndProgress();
        EnableControls(true);
        cmdDelete->setText(QStringLiteral("Delete"));
    }
    if (m_deletion.abandon()) {
        bRelogin = false;
        EndProgress();
        EnableControls(true);
        cmdDelete->setText(QStringLiteral("Delete"));
    }
    m_sweep.end();
    if (bPOP3Mode && cmdShow->text() == QLatin1String("Stop")) {
        bTopDone = true;
        endRetrieval();
    }
}
