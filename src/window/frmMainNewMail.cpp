// New-mail detection after a POP3 login.

#include "window/frmMain.h"

#include "mailbox/clsUIDL.h"
#include "window/modProgress.h"

#include <QComboBox>
#include <QLabel>

using namespace modProgress;

void frmMain::ProcessUidlReply(const QString &sReply)
{
    // The sizes are asked for first: the server lists them while the ids
    // are compared here, and their reply is read when this one is done.
    // The window shows the request only after the ids, where the user
    // always saw it. A session lost on the way has reset the window.
    const bool listAsked = sizeListWanted(lblMails->text());
    if (listAsked && !sendListOfAll())
        return;
    SetProgressMax(UidlListingLastIndex(sReply));
    QList<int> newMails;
    if (objUIDL)
        newMails = NewMailNumbers(sReply, *objUIDL, [](int line) { SetProgressValue(line); });
    if (!colNewMails)
        colNewMails = std::make_unique<NewMailList>();
    for (int mail : newMails)
        colNewMails->append(QString::number(mail));
    lblNewMails->setText(QString::number(newMails.size()) + QStringLiteral(" new mail(s)"));
    lblNewMails->show();
    if (bMinimized)
        ShowAlert(cboTill->currentText().isEmpty() ? QStringLiteral("0 new mails") : lblNewMails->text());
    EndProgress();
    toggleSizeList(listAsked);
}

bool frmMain::isNewMail(const QString &mailNumber)
{
    return colNewMails && colNewMails->contains(mailNumber);
}
