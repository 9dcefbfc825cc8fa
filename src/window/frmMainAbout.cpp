// The About button.

#include "window/frmMain.h"

#include "window/frmAbout.h"

void frmMain::cmdAbout_Click()
{
    frmAbout about(this);
    about.setMainWindow(this);
    about.exec();
}
