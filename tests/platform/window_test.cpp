#include "platform/window.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/recording_context.h"

namespace cirrodex::platform {
namespace {

struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
};
std::vector<Sent> g_sent;
HDC g_paintDc = nullptr;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_sent.push_back({window, message, wParam});
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    g_paintDc = BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
  }
  if (message == 0x0400) return 42;
  return DefWindowProc(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_sent.clear();
    g_paintDc = nullptr;
    WNDCLASS windowClass;
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = &instance_;
    windowClass.hbrBackground = COLOR_WINDOW_BRUSH;
    windowClass.lpszClassName = L"TestClass";
    ASSERT_TRUE(RegisterClass(windowClass));
    top_ = CreateWindowEx(0, L"TestClass", L"top", WS_VISIBLE, 100, 200, 240, 320, nullptr, nullptr,
                          &instance_, nullptr);
    ASSERT_NE(top_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(top_);
    UnregisterClass(L"TestClass", &instance_);
  }
  HWND Child(HWND parent, int x, int y, int width, int height) {
    return CreateWindowEx(0, L"TestClass", L"child", WS_CHILD | WS_VISIBLE, x, y, width, height,
                          parent, nullptr, &instance_, nullptr);
  }

  int instance_ = 0;
  HWND top_ = nullptr;
};

TEST_F(WindowTest, DestroySendsDestroyToTheWindowThenItsChildren) {
  HWND child = Child(top_, 0, 0, 10, 10);
  HWND grandchild = Child(child, 0, 0, 5, 5);
  g_sent.clear();
  EXPECT_TRUE(DestroyWindow(child));
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(g_sent[0].window, child);
  EXPECT_EQ(g_sent[0].message, WM_DESTROY);
  EXPECT_EQ(g_sent[1].window, grandchild);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandchild));
  EXPECT_FALSE(DestroyWindow(child));
  EXPECT_EQ(SendMessage(child, 0x0400, 0, 0), 0);
  EXPECT_TRUE(IsWindow(top_));
}

TEST_F(WindowTest, DefaultEraseFillsTheClientWithTheClassBrush) {
  RecordingContext dc;
  EXPECT_EQ(DefWindowProc(top_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0), 1);
  auto fills = dc.CallsOf(RecordingContext::Kind::FillRect);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].rect, (Rect{0, 0, 240, 320}));
  EXPECT_EQ(fills[0].color, Rgb(255, 255, 255));
}

TEST_F(WindowTest, MapWindowPointsFollowsTheParentChain) {
  HWND child = Child(top_, 10, 20, 100, 50);
  HWND grandchild = Child(child, 3, 4, 10, 10);
  RECT rect{0, 0, 10, 10};
  const int shift = MapWindowPoints(grandchild, top_, &rect);
  EXPECT_EQ(rect, (RECT{13, 24, 23, 34}));
  EXPECT_EQ(LoWord(static_cast<uint32_t>(shift)), 13);
  EXPECT_EQ(HiWord(static_cast<uint32_t>(shift)), 24);
  POINT point{0, 0};
  MapWindowPoints(grandchild, nullptr, &point, 1);  // to the screen
  EXPECT_EQ(point, (POINT{113, 224}));
  point = {13, 24};
  MapWindowPoints(top_, grandchild, &point, 1);
  EXPECT_EQ(point, (POINT{0, 0}));
}

TEST_F(WindowTest, SetWindowPosMovesAndSizesAsTold) {
  HWND child = Child(top_, 10, 20, 100, 50);
  ASSERT_TRUE(SetWindowPos(child, nullptr, 0, 0, 240, 38, SWP_NOMOVE | SWP_NOZORDER));
  RECT bounds;
  ASSERT_TRUE(GetWindowBounds(child, &bounds));
  EXPECT_EQ(bounds, (RECT{10, 20, 250, 58}));
  ASSERT_TRUE(SetWindowPos(child, nullptr, 1, 2, 0, 0, SWP_NOSIZE));
  ASSERT_TRUE(GetWindowBounds(child, &bounds));
  EXPECT_EQ(bounds, (RECT{1, 2, 241, 40}));
  RECT client;
  ASSERT_TRUE(GetClientRect(child, &client));
  EXPECT_EQ(client, (RECT{0, 0, 240, 38}));
  EXPECT_FALSE(SetWindowPos(nullptr, nullptr, 0, 0, 1, 1, 0));
}

class CountingHost : public WindowHost {
 public:
  void Invalidated(HWND window, bool erase) override {
    std::lock_guard lock(mutex);
    invalidated.push_back({window, erase});
    threads.push_back(std::this_thread::get_id());
  }
  void Moved(HWND window) override {
    std::lock_guard lock(mutex);
    moved.push_back(window);
  }
  std::mutex mutex;
  std::vector<std::pair<HWND, bool>> invalidated;
  std::vector<std::thread::id> threads;
  std::vector<HWND> moved;
};

TEST_F(WindowTest, InvalidateAndResizeFromAnotherThreadReachTheHost) {
  CountingHost host;
  WindowHost* previous = SetWindowHost(&host);
  HWND child = Child(top_, 0, 20, 240, 30);
  std::thread worker([&] {
    InvalidateRect(child, nullptr, true);
    SetWindowPos(child, nullptr, 0, 0, 240, 38, SWP_NOMOVE);
  });
  worker.join();
  SetWindowHost(previous);
  ASSERT_EQ(host.invalidated.size(), 1u);
  EXPECT_EQ(host.invalidated[0], (std::pair<HWND, bool>{child, true}));
  ASSERT_EQ(host.moved.size(), 1u);
  EXPECT_EQ(host.moved[0], child);
  EXPECT_FALSE(InvalidateRect(nullptr, nullptr, true));
}

TEST_F(WindowTest, PaintErasesWhenAskedThenPaintsWithTheHostsContext) {
  HWND child = Child(top_, 0, 0, 240, 30);
  RecordingContext dc;
  PaintWindow(child, dc, false);  // a new visible window waits for an erased paint
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(g_sent[0].message, WM_ERASEBKGND);
  EXPECT_EQ(g_sent[0].wParam, reinterpret_cast<WPARAM>(&dc));
  EXPECT_EQ(g_sent[1].message, WM_PAINT);
  EXPECT_EQ(g_paintDc, &dc);
  EXPECT_FALSE(GetUpdateState(child).invalid);

  g_sent.clear();
  InvalidateRect(child, nullptr, false);
  EXPECT_TRUE(GetUpdateState(child).invalid);
  EXPECT_FALSE(GetUpdateState(child).erase);
  PaintWindow(child, dc, false);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0].message, WM_PAINT);

  // Outside a paint there is no context to hand out.
  EXPECT_EQ(BeginPaint(child, nullptr), nullptr);
}

}  // namespace
}  // namespace cirrodex::platform
