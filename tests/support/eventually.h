// Polls a condition that another process or thread makes true, for tests that cannot drive a
// clock (a child program, a socket, a file written elsewhere).
#pragma once

#include <chrono>
#include <thread>

namespace cirrodex::testing {

// True as soon as `condition()` holds; false when it still does not after `timeoutMs`.
template <typename F>
bool Eventually(F condition, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace cirrodex::testing
