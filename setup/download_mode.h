// Gantrel's unattended mode: every configured city is downloaded and stored, with no window.
#pragma once

namespace cirrodex {

// Loads the city list and updates every city in slot order. Failures are stored per city and
// never stop the run.
void RunDownloadMode();

}  // namespace cirrodex
