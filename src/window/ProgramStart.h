#pragma once
// The program's start: the program's picture on its windows and the tray
// icon, then the about box; closing the about box brings up the main window.

class frmAbout;
class frmMain;

// Returns the about box, shown modelessly; it deletes itself when closed.
frmAbout *StartProgram(frmMain &window);
