// The interactive setup as a module of its own. Gantrel loads it only when the sheet is wanted,
// so that the unattended download run never maps Qt (about 13 MB of resident memory).
#include "setup/sheet/interactive_mode.h"

extern "C" __attribute__((visibility("default"))) int GantrelRunInteractive(int* argc, char** argv,
                                                                            int mode) {
  try {
    return cirrodex::RunInteractiveMode(*argc, argv, static_cast<cirrodex::StartMode>(mode));
  } catch (...) {
    return 1;  // nothing may cross the C boundary
  }
}
