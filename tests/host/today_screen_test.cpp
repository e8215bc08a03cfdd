#include "host/today_screen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <atomic>
#include <chrono>
#include <mutex>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/today_item.h"
#include "platform/broadcast.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"

namespace cirrodex::testing {
namespace {

using namespace platform;

class RecordingStarter : public ProcessStarter {
 public:
  bool Start(std::wstring_view program, std::wstring_view arguments) override {
    std::lock_guard lock(mutex_);
    started_.push_back({std::wstring(program), std::wstring(arguments)});
    return succeed;
  }
  std::atomic<bool> succeed{true};
  // What was started with something other than the download switch (the worker's own launches).
  std::vector<std::pair<std::wstring, std::wstring>> Taps() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::wstring, std::wstring>> taps;
    for (const auto& start : started_) {
      if (start.second != L"/downloadandexit") taps.push_back(start);
    }
    return taps;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::wstring, std::wstring>> started_;
};

// The screen in this process, on Qt's offscreen platform, with the real plug-in laid out and
// registered in the device folder and a program starter that only records.
class TodayScreenTest : public DeviceTest {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "host_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
  }

  void SetUp() override {
    Cities() = CityList{};
    std::string output;
    ASSERT_EQ(RunProgram(BuildDir() / "bin" / "cirrodex-install", {"--register"}, &output), 0)
        << output;
    SetProcessStarterForTesting(&starter_);
  }
  void TearDown() override { SetProcessStarterForTesting(nullptr); }

  void Release(QWidget& widget, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), button, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  }

  template <typename F>
  bool ProcessEventsUntil(F condition, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  RecordingStarter starter_;
};

TEST_F(TodayScreenTest, TapsReachTheItemAtItsOwnCoordinates) {
  host::TodayScreen screen;
  ASSERT_EQ(screen.items().items().size(), 1u);
  const host::TodayItem& item = screen.items().items()[0];
  EXPECT_EQ(item.top, host::kDateLineHeight);
  ASSERT_GT(item.height, 0);

  const std::wstring gantrel = L"\\program files\\velbrook\\nimbrel\\Gantrel.exe";
  Release(screen, QPointF(50, item.top + 3));
  Release(screen, QPointF(43, item.top + item.height - 1));
  Release(screen, QPointF(235, item.top));
  Release(screen, QPointF(50, item.top - 1));            // the date line
  Release(screen, QPointF(50, item.top + item.height));  // below the item
  Release(screen, QPointF(50, item.top + 3), Qt::RightButton);
  const auto taps = starter_.Taps();
  ASSERT_EQ(taps.size(), 3u);
  EXPECT_EQ(taps[0], (std::pair<std::wstring, std::wstring>{gantrel, L"/day1"}));
  EXPECT_EQ(taps[1].second, L"/current");
  EXPECT_EQ(taps[2].second, L"");
}

// The keyboard reaches what a tap reaches: focus selects the current block, Left and Right walk
// the tap zones (stopping at either end) under a frame in the text colour, Enter taps.
TEST_F(TodayScreenTest, KeyboardWalksTheTapZonesAndEnterTaps) {
  host::TodayScreen screen;
  ASSERT_EQ(screen.items().items().size(), 1u);
  const host::TodayItem& item = screen.items().items()[0];
  // A window that opens or is clicked shows no frame until the keyboard is used.
  QFocusEvent opened(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(&screen, &opened);
  EXPECT_EQ(screen.SelectedWindow(), nullptr);
  QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(&screen, &focus);
  ASSERT_EQ(screen.SelectedWindow(), item.window);

  const struct {
    int moves;  // Right (or Left, below 0) pressed this often before Enter
    const wchar_t* command;
    int frameX;  // the left edge of the frame then shown
  } kSteps[] = {{0, L"/current", 0}, {1, L"/day1", 44}, {4, L"/day4", 176}, {-5, L"/current", 0}};
  std::vector<std::wstring> expected;
  for (const auto& step : kSteps) {
    for (int i = 0; i < std::abs(step.moves); ++i) {
      QKeyEvent press(QEvent::KeyPress, step.moves > 0 ? Qt::Key_Right : Qt::Key_Left,
                      Qt::NoModifier);
      QApplication::sendEvent(&screen, &press);
    }
    const QImage image = screen.grab().toImage();
    const QRgb frame = image.pixel(step.frameX, item.top + item.height / 2);
    EXPECT_EQ(frame & 0xFFFFFF, 0x1A2230u) << "frame of " << step.frameX;
    // The frame stays on the strip, off the status line below it.
    EXPECT_NE(image.pixel(step.frameX, item.top + item.height - 1) & 0xFFFFFF, 0x1A2230u);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&screen, &enter);
    expected.push_back(step.command);
  }
  std::vector<std::wstring> commands;
  for (const auto& tap : starter_.Taps()) commands.push_back(tap.second);
  EXPECT_EQ(commands, expected);
}

TEST_F(TodayScreenTest, RefreshNotificationDropsAndReloadsTheItems) {
  host::TodayScreen screen;
  ASSERT_EQ(screen.items().items().size(), 1u);
  const HWND first = screen.items().items()[0].window;

  ASSERT_TRUE(DeleteTodayItemModule());
  EXPECT_EQ(BroadcastTodayRefresh(), 1);
  ASSERT_TRUE(ProcessEventsUntil([&] { return screen.items().items().empty(); }));
  EXPECT_FALSE(IsWindow(first));

  ASSERT_TRUE(WriteTodayItemModule());
  EXPECT_EQ(BroadcastTodayRefresh(), 1);
  ASSERT_TRUE(ProcessEventsUntil([&] { return screen.items().items().size() == 1; }));
  EXPECT_TRUE(IsWindow(screen.items().items()[0].window));
}

// A message box runs an event loop of its own; a reload it delivers waits until the item's
// procedure has returned, or the module would be unloaded under it.
class ReloadingBoxes : public MessageBoxHandler {
 public:
  int Show(HWND, std::wstring_view text, std::wstring_view, unsigned) override {
    shown.push_back(std::wstring(text));
    reached = BroadcastTodayRefresh();
    // The box's own event loop, for a moment.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return IDOK;
  }
  std::vector<std::wstring> shown;
  int reached = 0;
};

TEST_F(TodayScreenTest, ReloadDuringATapsMessageBoxWaitsForTheTap) {
  host::TodayScreen screen;
  ASSERT_EQ(screen.items().items().size(), 1u);
  const HWND before = screen.items().items()[0].window;
  ReloadingBoxes boxes;
  SetMessageBoxHandler(&boxes);
  starter_.succeed = false;
  Release(screen, QPointF(10, host::kDateLineHeight + 2));
  SetMessageBoxHandler(nullptr);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.reached, 1);
  EXPECT_EQ(boxes.shown[0].rfind(L"Failed to start", 0), 0u);
  // Reloaded once the tap was over.
  EXPECT_FALSE(IsWindow(before));
  ASSERT_EQ(screen.items().items().size(), 1u);
  EXPECT_TRUE(IsWindow(screen.items().items()[0].window));
}

TEST_F(TodayScreenTest, ClosingTheScreenStopsListening) {
  {
    host::TodayScreen screen;
    EXPECT_EQ(BroadcastTodayRefresh(), 1);
  }
  EXPECT_EQ(BroadcastTodayRefresh(), 0);
}

}  // namespace
}  // namespace cirrodex::testing
