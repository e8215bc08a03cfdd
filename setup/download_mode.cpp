#include "setup/download_mode.h"

#include "update/update_run.h"

namespace cirrodex {

void RunDownloadMode() { UpdateAllCities(false); }

}  // namespace cirrodex
