// Help mode and the help window, as the main window drives them. HelpMode
// holds the one implementation; the window's procedures hand over to it.

#include "window/frmMain.h"

#include <QCheckBox>
#include <QPushButton>

void frmMain::connectHelpButtons()
{
    m_helpMode.setButtons(HelpButtons{cmdHlpLogin, cmdHlpUpdtChanges, cmdHlpSaveLogin, cmdHlpLoadLogin,
                                      cmdHlpStats, cmdHlpRetrieval, cmdHlpDeletion, cmdHlpMails,
                                      cmdHlpAutoLogin, ckUpdtChanges, ckAutoLogin});
    m_helpMode.connectButtons();
}

void frmMain::HelpStatus(bool bShow)
{
    m_helpMode.HelpStatus(bShow);
}

void frmMain::ckHelpFlag_Click()
{
    HelpStatus(ckHelpFlag->isChecked());
}

void frmMain::InvokeHelp(int nCode)
{
    m_helpMode.InvokeHelp(nCode);
}

void frmMain::closeHelpWindow()
{
    m_helpMode.UnloadHelp();
}
