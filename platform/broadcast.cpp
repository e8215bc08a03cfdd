#include "platform/broadcast.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/device.h"

namespace cirrodex::platform {

namespace {

// On the wire: message, wParam, lParam as three little-endian 64-bit numbers.
struct Datagram {
  uint64_t message;
  uint64_t wParam;
  int64_t lParam;
};

std::filesystem::path RunFolder() { return DeviceRoot() / "run"; }

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

int SendNotifyBroadcast(UINT message, WPARAM wParam, LPARAM lParam) {
  // Stale sockets are removed below: only in the real folder, never through a planted link.
  std::string problem;
  if (!PrivateDeviceFolder(RunFolder(), Create::No, problem)) return 0;
  std::error_code error;
  std::filesystem::directory_iterator it(RunFolder(), error);
  if (error) return 0;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return 0;
  const Datagram datagram{message, wParam, lParam};
  int reached = 0;
  for (const auto& entry : it) {
    if (entry.path().extension() != ".sock") continue;
    sockaddr_un address;
    if (!FillAddress(entry.path().string(), address)) continue;
    ssize_t sent = sendto(fd, &datagram, sizeof(datagram), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (sent == static_cast<ssize_t>(sizeof(datagram))) {
      ++reached;
    } else if (errno == ECONNREFUSED) {
      // Nobody is bound any more: the program ended without removing its socket.
      std::filesystem::remove(entry.path(), error);
    }
  }
  close(fd);
  return reached;
}

int BroadcastTodayRefresh() { return SendNotifyBroadcast(WM_WININICHANGE, INI_TODAY_REFRESH, 0); }

BroadcastListener::BroadcastListener(const std::string& name) {
  std::string problem;
  if (!PrivateDeviceFolder(RunFolder(), Create::Yes, problem)) {
    error_ = "the broadcast folder: " + problem;
    return;
  }
  path_ = (RunFolder() / (name + "-" + std::to_string(getpid()) + ".sock")).string();
  sockaddr_un address;
  if (!FillAddress(path_, address)) {
    error_ = "the socket path is too long: " + path_;
    path_.clear();
    return;
  }
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    error_ = std::string("creating the broadcast socket: ") + std::strerror(errno);
    path_.clear();
    return;
  }
  unlink(path_.c_str());  // a socket left by an earlier process with the same id
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error_ = "binding " + path_ + ": " + std::strerror(errno);
    close(fd_);
    fd_ = -1;
    path_.clear();
    return;
  }
  // bind gives the socket 0777 less the umask.
  chmod(path_.c_str(), 0600);
}

BroadcastListener::~BroadcastListener() {
  if (fd_ >= 0) close(fd_);
  if (!path_.empty()) unlink(path_.c_str());
}

std::vector<BroadcastMessage> BroadcastListener::Receive() {
  std::vector<BroadcastMessage> messages;
  if (fd_ < 0) return messages;
  for (;;) {
    Datagram datagram;
    ssize_t got = recv(fd_, &datagram, sizeof(datagram), MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    if (got != static_cast<ssize_t>(sizeof(datagram))) continue;  // not one of ours
    messages.push_back({static_cast<UINT>(datagram.message), static_cast<WPARAM>(datagram.wParam),
                        static_cast<LPARAM>(datagram.lParam)});
  }
  return messages;
}

}  // namespace cirrodex::platform
