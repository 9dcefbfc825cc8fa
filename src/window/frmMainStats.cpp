// Completion of a POP3 login and the per-mail size list.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "mailbox/MailNumbers.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3Replies.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/FlexGrid.h"
#include "window/MailNumberList.h"
#include "window/MailboxControls.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <utility>

using namespace modProgress;
using Pop3Replies::blankSeparatedPiece;

namespace {

// A server may claim any mail count; listing more numbers than this in the
// range boxes would only exhaust memory. Higher numbers can still be typed.
constexpr int MostListedMailNumbers = 100000;
} // namespace

void frmMain::fillRangeCombos(int count, const QString &tillText)
{
    // The four range boxes list the same numbers; they share one list.
    m_rangeNumbers->setCount(qBound(0, count, MostListedMailNumbers));
    const bool any = count > 0;
    cboFrom->setEditText(any ? QStringLiteral("1") : QString());
    cboDelFrom->setEditText(any ? QStringLiteral("1") : QString());
    cboTill->setEditText(any ? tillText : QString());
    cboDelTill->setEditText(any ? tillText : QString());
}

// The controls a completed login gives the user, for both account kinds.
void frmMain::enableMailboxControls()
{
    cmdDelete->setEnabled(true);
    cmdShow->setEnabled(true);
    cmdDelete->setText(QStringLiteral("Delete"));
    cmdShow->setText(QStringLiteral("Show"));
    resetCommandButtonColors();
    cmdLoad->setEnabled(true);
    cmdSave->setEnabled(true);
    cmdStats->setEnabled(true);
    ckAutoLogin->show();
    if (ckHelpFlag->isChecked())
        cmdHlpAutoLogin->show();
}

void frmMain::ShowMailboxStats(const QString &sReply)
{
    // The ids are asked for first: the server lists them while the window
    // is filled in here. A server that takes pipelined commands has them on
    // their way since STAT, and gets the size list's LIST now. A session
    // lost on the way has reset the window.
    const Pop3Replies::StatFields fields = Pop3Replies::statFields(sReply);
    if (!askForIdsAndSizes(serverPipelines() && sizeListWanted(fields.count)))
        return;

    lblMails->setText(fields.count);
    lblMailSize->setText(fields.size);

    fraStats->show();
    enableMailboxControls();

    const int count = Pop3Replies::boundedMailCount(lblMails->text());
    if (count > 0) {
        fraRetrieval->show();
        fraDeletion->show();
        fraBrowse->show();
    }
    // Filled once shown: a range box sizes itself at its first showing by
    // measuring every number it lists, thousands of them.
    fillRangeCombos(count, lblMails->text());

    cmdLogin->setText(QStringLiteral("Logout"));
    cmdLogin->setEnabled(true);

    lblTotalMails->setText(QStringLiteral("Total ") + cboTill->currentText() + QStringLiteral(" mails"));
    lblTotalMails->show();
    lblNewMails->setText(cboTill->currentText() + QStringLiteral(" new mail(s)"));
    lblNewMails->show();

    bStatDone = true;
    if (ckAutoLogin->isChecked())
        timLogin->start();
}

void frmMain::ProcessListReply(const QString &sReply)
{
    if (bListForView) {
        lRetrSize = vb::RoundHalfEven(vb::Val(blankSeparatedPiece(sReply, 2).toString()));
        const int mail = mailbox::mailNumberOf(blankSeparatedPiece(sReply, 1).toString());
        SendRetr(mail);
        return;
    }

    // Views into the reply: only the cells' own texts are made.
    const QList<QStringView> elements = Pop3Replies::replyLines(sReply);
    const int k = int(elements.size()) - 1;
    startSizeList(qMax(1, k - 1));
    SetProgressMax(k);
    for (int i = 1; i <= k - 2; ++i) {
        grdStats->SetTextMatrix(i, 0, blankSeparatedPiece(elements[i], 0).toString());
        grdStats->SetTextMatrix(i, 1, blankSeparatedPiece(elements[i], 1).toString());
        SetProgressValue(i);
    }
    showSizeList();
}

// The size list is built unseen, under its headings, then shown at once.
void frmMain::startSizeList(int rows)
{
    grdStats->setUpdatesEnabled(false);
    grdStats->Clear();
    grdStats->SetFixedRows(1);
    grdStats->SetColWidthTwips(1, 1200);
    grdStats->SetTextMatrix(0, 0, QStringLiteral("Mail no."));
    grdStats->SetTextMatrix(0, 1, QStringLiteral("Bytes"));
    grdStats->SetRows(rows);
    grdStats->SetCols(2);
    grdStats->BeginFill();
}

void frmMain::showSizeList()
{
    grdStats->EndFill();
    grdStats->setUpdatesEnabled(true);
    grdStats->show();
    cmdStats->setEnabled(true);
    cmdShow->setVisible(true);
    cmdDelete->setVisible(true);
    EndProgress();
    EnableControls(true);
    runActionAfterSizeList();
}

bool frmMain::sizeListOnItsWay() const
{
    // After STAT the login asks for the ids, then for the sizes.
    if (!bPOP3Mode || m_replyReader->expectedCount() == 0 || sockPOP3->State() == TcpClientSocket::sckClosed)
        return false;
    return vCommand == Pop3Command::Verb::Uidl || (vCommand == Pop3Command::Verb::List && !bListOne);
}

void frmMain::waitForSizeList(AfterSizeList action)
{
    // The click is taken: its button is the stop button from now on.
    m_afterSizeList = action;
    bStopRequested = false;
    EnableControls(false);
    mailbox::showAsStopButton(action == AfterSizeList::Show ? cmdShow : cmdDelete);
}

void frmMain::keepWaitingActionStoppable()
{
    if (m_afterSizeList != AfterSizeList::Nothing)
        mailbox::showAsStopButton(m_afterSizeList == AfterSizeList::Show ? cmdShow : cmdDelete);
}

void frmMain::runActionAfterSizeList()
{
    const AfterSizeList action = std::exchange(m_afterSizeList, AfterSizeList::Nothing);
    QPushButton *button = action == AfterSizeList::Show ? cmdShow : cmdDelete;
    // Anything that gave the button back has ended the wait.
    if (action == AfterSizeList::Nothing || button->text() != QLatin1String("Stop"))
        return;
    if (CheckInterrupt())
        return;
    if (action == AfterSizeList::Show) {
        cmdShow->setText(QStringLiteral("Show"));
        cmdShow_Click();
    } else {
        cmdDelete->setText(QStringLiteral("Delete"));
        cmdDelete_Click();
    }
}

bool frmMain::sizeListWanted(const QString &mailCount) const
{
    return bPOP3Mode && cmdStats->text().contains(QLatin1String("More >>")) && vb::Val(mailCount) > 0;
}

bool frmMain::askForStats()
{
    if (!serverPipelines())
        return SendStat();
    // Every STAT the server takes is followed by UIDL.
    beginBatch();
    if (!SendStat() || !sendLine(Pop3Command::line(Pop3Command::Verb::Uidl)))
        return false;
    m_uidlSentAhead = true;
    return endBatch();
}

bool frmMain::askForIdsAndSizes(bool sizesToo)
{
    beginBatch();
    if (!SendUidl())
        return false;
    if (sizesToo) {
        if (!sendLine(Pop3Command::line(Pop3Command::Verb::List)))
            return false;
        m_listSentAhead = true;
    }
    return endBatch();
}

void frmMain::cmdStats_Click()
{
    toggleSizeList(false);
}

void frmMain::toggleSizeList(bool listAsked)
{
    if (cmdStats->text().contains(QLatin1String("More >>"))) {
        if (vb::Val(lblMails->text()) <= 0) {
            msgBoxUnlessMinimized(QStringLiteral("No mails in mailbox"), MsgIcon::Information);
        } else if (bPOP3Mode) {
            // A click while the login's own list is on its way: it is shown
            // when it comes.
            if (!listAsked && sizeListOnItsWay())
                return;
            EnableControls(false);
            cmdStats->setEnabled(false);
            keepWaitingActionStoppable();
            if (listAsked)
                showSizeListProgress();
            else if (!SendList(0))
                return;
            cmdStats->setText(QStringLiteral("<< Hide"));
        } else if (bHotmailMode) {
            EnableControls(false);
            cmdStats->setEnabled(false);
            cmdStats->setText(QStringLiteral("<< Hide"));
            ShowHotmailSizes();
        }
        if (bMinimized && bUIDLFailed) {
            bUIDLFailed = false;
            ShowAlert(lblMails->text() == QLatin1String("0") ? QStringLiteral("0 new mails")
                                                              : lblMails->text() + QStringLiteral(" new mail(s)"));
        }
    } else {
        grdStats->hide();
        cmdStats->setText(QStringLiteral("More >>"));
    }
}
