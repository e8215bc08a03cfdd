// Gantrel: the setup program, and with "/downloadandexit" the unattended download run.
#include <cstdio>

#include "setup/command_line.h"
#include "setup/download_mode.h"

int main(int argc, char** argv) {
  using namespace cirrodex;
  const StartMode mode = ChooseStartMode(JoinArguments(argc, argv));
  if (mode == StartMode::Download) {
    RunDownloadMode();
    return 0;
  }
  std::fputs("gantrel: the interactive setup is not built yet; only /downloadandexit works\n",
             stderr);
  return 1;
}
