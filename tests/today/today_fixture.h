// A Today item in a fresh device folder, with a clock, a program starter, message boxes and a
// Today screen window that the test controls.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_device.h"
#include "today/item_state.h"

namespace cirrodex::testing {

struct Launch {
  std::wstring program;
  std::wstring arguments;
  uint64_t atMs = 0;  // the test clock's time, in milliseconds since the test began
};

class FakeStarter : public platform::ProcessStarter {
 public:
  bool Start(std::wstring_view program, std::wstring_view arguments) override;
  std::vector<Launch> Launches();
  // The launches with these arguments.
  std::vector<Launch> LaunchesOf(std::wstring_view arguments);
  // Waits (at most `timeoutMs` of real time) until `count` launches were asked for.
  bool WaitForLaunches(size_t count, int timeoutMs);
  void SetResult(bool result) {
    std::lock_guard lock(mutex_);
    result_ = result;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Launch> launches_;
  bool result_ = true;
};

// A stop event that never really waits: each wait moves the test clock on by its time-out and is
// noted, so the worker's loop can be driven pass by pass.
class ClockStopEvent : public today::StopEvent {
 public:
  bool Wait(uint32_t milliseconds) override;
  void Signal() override { signalled_ = true; }
  static std::vector<uint32_t>& Waits();

 private:
  bool signalled_ = false;
};

// The Today screen's answers.
inline constexpr platform::Color kScreenTextColor = platform::Rgb(0x10, 0x20, 0x30);

// The module loaded in a fresh device folder, with the test clock at 2025-05-06 12:00:00, the fake
// starter and message boxes installed, and a 240 x 320 Today screen window.
class TodayTest : public DeviceTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Stores `feed` as the selected city's (slot 1, London) stored feed with `result`.
  void StoreFeed(const std::wstring& feed, uint32_t result);
  void SetSetting(const wchar_t* name, uint32_t value);
  // Ordinal 240 with an enabled record; the item window.
  platform::HWND Initialize();
  // Runs a paint of the item on a recording context and returns the context.
  void Paint(platform::DrawingContext& dc, bool erase = true);
  // Sets the clock to a time of 2025-05-06.
  void SetTimeOfDay(int hour, int minute, int second = 0);
  // The test clock in milliseconds since the test began.
  uint64_t ClockMs() const;

  // Worker passes driven on this thread with ClockStopEvent waits.
  void UseClockStopEvent();

  platform::FixedClock clock_{platform::SystemTime{2025, 5, 2, 6, 12, 0, 0, 0}};
  platform::FileTime startTime_ = 0;
  FakeStarter starter_;
  RecordingMessageBoxes boxes_;
  platform::HWND screen_ = nullptr;
  platform::TODAYLISTITEM record_;
  std::vector<platform::TODAYDRAWWATERMARKINFO> watermarks_;
};

// A feed that names London and is cloudy at 59 F.
std::wstring SampleFeed(const std::wstring& city = L"London");

}  // namespace cirrodex::testing
