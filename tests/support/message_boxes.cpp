#include "tests/support/message_boxes.h"

namespace cirrodex::testing {

RecordingMessageBoxes::RecordingMessageBoxes() {
  for (Box& box : boxes_) {
    box.text.reserve(kTextCapacity);
    box.caption.reserve(kTextCapacity);
  }
  previous_ = platform::SetMessageBoxHandler(this);
}

RecordingMessageBoxes::~RecordingMessageBoxes() { platform::SetMessageBoxHandler(previous_); }

int RecordingMessageBoxes::Show(platform::HWND owner, std::wstring_view text,
                                std::wstring_view caption, unsigned type) {
  std::lock_guard lock(mutex_);
  if (count_ < kCapacity) {
    Box& box = boxes_[count_++];
    box.owner = owner;
    box.text.assign(text.substr(0, kTextCapacity));
    box.caption.assign(caption.substr(0, kTextCapacity));
    box.type = type;
  }
  if (answers_.empty()) return platform::IDOK;
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void RecordingMessageBoxes::Answer(std::vector<int> answers) {
  std::lock_guard lock(mutex_);
  answers_.assign(answers.begin(), answers.end());
}

std::vector<RecordingMessageBoxes::Box> RecordingMessageBoxes::boxes() const {
  std::lock_guard lock(mutex_);
  return {boxes_.begin(), boxes_.begin() + count_};
}

void RecordingMessageBoxes::Clear() {
  std::lock_guard lock(mutex_);
  count_ = 0;
}

}  // namespace cirrodex::testing
