// Gantrel's unattended mode: every configured city is downloaded and stored, with no window.
#pragma once

namespace cirrodex {

// Loads the city list and updates every city in slot order, one run per device folder at a time.
// Download failures are stored per city and never stop the run. The exit status: 0, or 1 with
// one line on stderr naming what failed when the store could not be opened, read or written, when
// another program held it for a minute in all (the run then stops; each city is stored whole or
// not at all), or when something else than a file was planted as the run's lock file.
int RunDownloadMode();

}  // namespace cirrodex
