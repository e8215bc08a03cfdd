// One setup sheet at a time per user and device folder: a later start hands the page it was asked
// for to the sheet already open, which comes to the front, and ends.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

#include "setup/command_line.h"

namespace cirrodex {

// The socket of the sheet of this device folder: inside it, so only its user reaches it. Empty
// when the path would be too long for a socket (then every start opens its own sheet).
QString SheetSocketPath();

// Asks the sheet listening on `path` to show `mode`'s page. True once it said it did; false when
// none listens or it did not answer within a few seconds.
bool HandOverToOpenSheet(const QString& path, StartMode mode);

class SheetListener {
 public:
  // Listens on `path` (a socket a sheet that died left there is taken over). False when it cannot
  // listen (or a sheet started at the same moment got there first: try HandOverToOpenSheet).
  bool Listen(const QString& path);
  // `show` is called on the GUI thread with the mode each later start asks for.
  void OnStart(std::function<void(StartMode)> show) { show_ = std::move(show); }

 private:
  QLocalServer server_;
  std::function<void(StartMode)> show_;
};

}  // namespace cirrodex
