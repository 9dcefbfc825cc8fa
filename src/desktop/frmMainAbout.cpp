// The About button.

#include "app/frmMain.h"

#include "desktop/frmAbout.h"

void frmMain::cmdAbout_Click()
{
    frmAbout about(this);
    about.setMainWindow(this);
    about.exec();
}
