// An HTTPMail mailbox presented in the window: counts after login, sizes on
// request. Everything here reads the records fetched at login.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "window/FlexGrid.h"
#include "window/modProgress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <limits>

using namespace modProgress;

void frmMain::ShowHotmailStats()
{
    // A listing may claim any sizes: the sum stops at the ends of its range
    // instead of overflowing.
    qint64 totalSize = 0;
    for (const QStringList &record : colHotmailIds) {
        const qint64 size = vb::RoundHalfEven(vb::Val(clsHotmail::GetFieldLength(record)));
        if (__builtin_add_overflow(totalSize, size, &totalSize))
            totalSize = size > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    }
    const int count = objHotmail->GetTotalCount();
    lblMails->setText(QString::number(count));
    lblMailSize->setText(QString::number(totalSize));
    fraStats->show();
    lblTotalMails->setText(QStringLiteral("Total ") + QString::number(count) + QStringLiteral(" mails"));
    lblTotalMails->show();
    lblNewMails->setText(QString::number(objHotmail->GetNewCount()) + QStringLiteral(" new mail(s)"));
    lblNewMails->show();

    enableMailboxControls();
    cmdStats->show();

    const qint64 shown = qint64(vb::Val(lblMails->text()));
    if (shown > 0) {
        fillRangeCombos(int(shown), lblMails->text());
        fraRetrieval->show();
        fraDeletion->show();
        fraBrowse->show();
    }
    if (bMinimized)
        ShowAlert(lblNewMails->text());
    if (ckAutoLogin->isChecked())
        timLogin->start();
    cmdLogin->setText(QStringLiteral("Logout"));
    cmdLogin->setEnabled(true);
}

void frmMain::ShowHotmailSizes()
{
    const int count = int(colHotmailIds.size());
    startSizeList(count + 1);
    SetProgressMax(count);
    for (int n = 1; n <= count; ++n) {
        grdStats->SetTextMatrix(n, 0, QString::number(n));
        grdStats->SetTextMatrix(n, 1, clsHotmail::GetFieldLength(colHotmailIds[n - 1]));
        SetProgressValue(n);
    }
    showSizeList();
}
