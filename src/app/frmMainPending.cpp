// Procedures whose subsystems are not built yet. Each does nothing visible,
// so no control pretends to work.

#include "app/frmMain.h"

