// Messages that the setup program's pages send one another through the sheet.
#pragma once

namespace cirrodex {

enum SheetMessage : int {
  // The settings key has been deleted: pages holding copies of its values must not store them
  // again in this run.
  kSettingsRemoved = 1,
  // The default settings have been stored: pages holding copies take up the stored values.
  kSettingsInstalled = 2,
};

}  // namespace cirrodex
