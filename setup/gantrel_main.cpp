// Gantrel: the setup program, and with "/downloadandexit" the unattended download run.
#include "setup/command_line.h"
#include "setup/download_mode.h"
#include "setup/interactive_mode.h"

int main(int argc, char** argv) {
  using namespace cirrodex;
  const StartMode mode = ChooseStartMode(JoinArguments(argc, argv));
  if (mode == StartMode::Download) {
    RunDownloadMode();
    return 0;
  }
  return RunInteractiveMode(argc, argv, mode);
}
