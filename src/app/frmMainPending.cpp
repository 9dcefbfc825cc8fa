// Procedures whose subsystems are not built yet. Each does nothing visible,
// so no control pretends to work.

#include "app/frmMain.h"

void frmMain::cmdShow_Click() {}
void frmMain::StartRetrieval(int, int) {}
void frmMain::ProcessTopReply(const QString &) {}
void frmMain::FetchHotmailHeaders() {}
void frmMain::cmdDelete_Click() {}
void frmMain::DeleReplyArrived(bool) {}
void frmMain::grdMails_MouseDown(int, const QPoint &) {}
void frmMain::mnuDeleteMail_Click() {}
void frmMain::mnuCompleteMail_Click() {}
void frmMain::ProcessRetrReply(const QString &) {}
void frmMain::ShowHotmailMail() {}
