#pragma once
// The one way in to frmMain's session state for tests, benchmarks and the
// screenshot tool: kit::session(w).bMinimized() = true;
// Every other use of the window goes through its controls and its
// procedures, as a user's would.

#include "window/frmMain.h"

class frmMainTestAccess
{
public:
    // A const window is only read; the door itself does not change it.
    explicit frmMainTestAccess(const frmMain &w) : m_w(const_cast<frmMain &>(w)) {}

    decltype(frmMain::vCommand) &vCommand() { return m_w.vCommand; }
    decltype(frmMain::strPrevCommand) &strPrevCommand() { return m_w.strPrevCommand; }
    decltype(frmMain::bStatDone) &bStatDone() { return m_w.bStatDone; }
    decltype(frmMain::bListForView) &bListForView() { return m_w.bListForView; }
    decltype(frmMain::bTopDone) &bTopDone() { return m_w.bTopDone; }
    decltype(frmMain::iCurMail) &iCurMail() { return m_w.iCurMail; }
    decltype(frmMain::lRetrSize) &lRetrSize() { return m_w.lRetrSize; }
    decltype(frmMain::bRelogin) &bRelogin() { return m_w.bRelogin; }
    decltype(frmMain::colNewMails) &colNewMails() { return m_w.colNewMails; }
    decltype(frmMain::bMinimized) &bMinimized() { return m_w.bMinimized; }
    decltype(frmMain::bUIDLFailed) &bUIDLFailed() { return m_w.bUIDLFailed; }
    decltype(frmMain::bPOP3Mode) &bPOP3Mode() { return m_w.bPOP3Mode; }
    decltype(frmMain::bHotmailMode) &bHotmailMode() { return m_w.bHotmailMode; }
    decltype(frmMain::bStopRequested) &bStopRequested() { return m_w.bStopRequested; }
    decltype(frmMain::objHotmail) &objHotmail() { return m_w.objHotmail; }
    decltype(frmMain::colHotmailIds) &colHotmailIds() { return m_w.colHotmailIds; }
    decltype(frmMain::objUIDL) &objUIDL() { return m_w.objUIDL; }
    bool serverPipelines() const { return m_w.serverPipelines(); }
    // The replies the session still waits for.
    int outstandingReplies() const { return m_w.m_replyReader->expectedCount(); }

private:
    frmMain &m_w;
};

namespace kit {
inline frmMainTestAccess session(const frmMain &w)
{
    return frmMainTestAccess(w);
}
} // namespace kit
