// A message-box handler for tests: records every box and answers from a queue.
#pragma once

#include <array>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace cirrodex::testing {

// Installs itself as the message-box handler for its lifetime and records each box shown, from
// any thread. Recording allocates nothing, so it works while allocations fail: the first
// kCapacity boxes are kept, their texts cut at kTextCapacity characters.
class RecordingMessageBoxes : public platform::MessageBoxHandler {
 public:
  static constexpr size_t kCapacity = 16;
  static constexpr size_t kTextCapacity = 255;

  struct Box {
    platform::HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    unsigned type = 0;
  };

  RecordingMessageBoxes();
  ~RecordingMessageBoxes() override;
  RecordingMessageBoxes(const RecordingMessageBoxes&) = delete;
  RecordingMessageBoxes& operator=(const RecordingMessageBoxes&) = delete;

  int Show(platform::HWND owner, std::wstring_view text, std::wstring_view caption,
           unsigned type) override;

  // The answers of the next boxes, in order; IDOK once they are used up.
  void Answer(std::vector<int> answers);
  // A copy of the boxes recorded so far.
  std::vector<Box> boxes() const;
  void Clear();

 private:
  platform::MessageBoxHandler* previous_ = nullptr;
  mutable std::mutex mutex_;
  std::array<Box, kCapacity> boxes_;
  size_t count_ = 0;
  std::deque<int> answers_;
};

}  // namespace cirrodex::testing
