// The setup program started by the user or by a tap on the Today item: the property sheet on the
// page that the command line chooses.
#pragma once

#include "setup/command_line.h"

namespace cirrodex {

class CGantrelDlg;

// Makes the page that `mode` asks for (Current or Forecast) the sheet's active page; any other
// mode leaves the first page.
void ChooseStartPage(CGantrelDlg& sheet, StartMode mode);

// Creates the Qt application, shows the sheet modally on the page `mode` asks for until the user
// closes it, and destroys it; when this device folder's sheet is open already, that one shows the
// page and comes to the front instead. Returns the process's exit status (0).
int RunInteractiveMode(int& argc, char** argv, StartMode mode);

}  // namespace cirrodex
