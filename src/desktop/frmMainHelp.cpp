// Help mode and the help window, as the main window drives them.

#include "app/frmMain.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>

void frmMain::HelpStatus(bool bShow)
{
    for (QPushButton *button : {cmdHlpLogin, cmdHlpDeletion, cmdHlpLoadLogin, cmdHlpSaveLogin, cmdHlpMails,
                                cmdHlpRetrieval, cmdHlpStats})
        button->setVisible(bShow);
    cmdHlpAutoLogin->setVisible(bShow && !ckAutoLogin->isHidden());
    cmdHlpUpdtChanges->setVisible(bShow && !ckUpdtChanges->isHidden());
    QSettings settings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"));
    settings.setValue(QStringLiteral("Settings/Help"), bShow ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmMain::ckHelpFlag_Click()
{
    HelpStatus(ckHelpFlag->isChecked());
}
