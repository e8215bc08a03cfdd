// An X server of its own (Xvfb, no window manager) for tests that need a real display.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

namespace cirrodex::testing {

// Xvfb on a display number of its own choosing; empty display() when it could not start.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int ready[2];
    if (pipe(ready) != 0) return;
    const std::string fd = std::to_string(ready[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    // It writes the display number and a newline once it accepts clients; a failed start, none.
    std::string number;
    char c = 0;
    while (pid_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    if (c == '\n' && !number.empty()) display_ = ":" + number;
    close(ready[0]);
  }
  // As at a logout; SIGTERM lets it remove its socket and lock file.
  ~VirtualDisplay() { Kill(); }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace cirrodex::testing
