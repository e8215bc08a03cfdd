// Messages broadcast to every top-level window of the device, between processes: each listening
// program binds a datagram socket "run/<name>-<pid>.sock" in the device folder and a sender
// posts to every such socket it finds.
#pragma once

#include <string>
#include <vector>

#include "platform/window.h"

namespace cirrodex::platform {

struct BroadcastMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// The platform's send-notify broadcast: posts the message to every listener and returns without
// waiting for any of them. Sockets left by programs that have ended are removed. Returns how many
// listeners it reached.
int SendNotifyBroadcast(UINT message, WPARAM wParam, LPARAM lParam);

// The Today refresh notification: WM_WININICHANGE with wParam 0xF2, lParam 0.
int BroadcastTodayRefresh();

// Listens for broadcasts while it lives (the socket is removed with it). Use Descriptor() with
// the program's event loop and call Receive() when it is readable.
class BroadcastListener {
 public:
  // `name` tells listeners apart in the run folder, e.g. "today-host".
  explicit BroadcastListener(const std::string& name);
  ~BroadcastListener();
  BroadcastListener(const BroadcastListener&) = delete;
  BroadcastListener& operator=(const BroadcastListener&) = delete;

  // False when the socket could not be made (LastError() says why).
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& LastError() const { return error_; }
  int Descriptor() const { return fd_; }
  // Every message waiting, without blocking.
  std::vector<BroadcastMessage> Receive();

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

}  // namespace cirrodex::platform
