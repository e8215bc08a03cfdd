#include "platform/window.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/text.h"

namespace cirrodex::platform {

struct Window {
  std::wstring className;
  std::wstring title;
  DWORD style = 0;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  HBRUSH background = 0;
  HWND parent = nullptr;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool invalid = false;
  bool erase = false;
  bool destroying = false;
  HDC paintDc = nullptr;  // set only while the host runs a paint of this window
};

namespace {

struct WindowClass {
  std::wstring name;
  HINSTANCE instance = nullptr;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HBRUSH background = 0;
};

// One table for the process: a plug-in's windows and the host's live side by side. Procedures
// are always called with the lock released, so they may create, send to and destroy windows.
struct WindowTable {
  std::mutex mutex;
  std::vector<WindowClass> classes;
  std::unordered_map<HWND, std::unique_ptr<Window>> windows;
  // Handles are numbers that are never given out twice, so a handle kept after its window was
  // destroyed (a queued repaint, say) can never name a newer window.
  uintptr_t lastHandle = 0x10000;

  Window* Find(HWND window) {
    auto it = windows.find(window);
    return it == windows.end() ? nullptr : it->second.get();
  }
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;  // never destroyed: windows may outlive statics
  return *table;
}

std::atomic<WindowHost*> g_host{nullptr};

// The screen position of a window's client origin; the table lock is held by the caller.
Point OriginLocked(WindowTable& table, HWND window) {
  Point origin;
  for (int depth = 0; window != nullptr && depth < 64; ++depth) {
    Window* w = table.Find(window);
    if (w == nullptr) break;
    origin.x += w->x;
    origin.y += w->y;
    window = w->parent;
  }
  return origin;
}

Color SystemColor(HBRUSH brush) {
  switch (brush & ~SYS_COLOR_INDEX_FLAG) {
    case 8:  // COLOR_WINDOWTEXT
      return Rgb(0, 0, 0);
    case COLOR_WINDOW:
    default:
      return Rgb(255, 255, 255);
  }
}

}  // namespace

bool RegisterClass(const WNDCLASS& windowClass) {
  if (windowClass.lpszClassName == nullptr || *windowClass.lpszClassName == L'\0') return false;
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  for (const WindowClass& c : table.classes) {
    if (c.instance == windowClass.hInstance &&
        EqualIgnoringAsciiCase(c.name, windowClass.lpszClassName)) {
      return false;
    }
  }
  table.classes.push_back({windowClass.lpszClassName, windowClass.hInstance, windowClass.style,
                           windowClass.lpfnWndProc, windowClass.hbrBackground});
  return true;
}

bool UnregisterClass(std::wstring_view className, HINSTANCE instance) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = std::find_if(table.classes.begin(), table.classes.end(), [&](const WindowClass& c) {
    return c.instance == instance && EqualIgnoringAsciiCase(c.name, className);
  });
  if (it == table.classes.end()) return false;
  table.classes.erase(it);
  return true;
}

HWND CreateWindowEx(DWORD /*exStyle*/, std::wstring_view className, std::wstring_view title,
                    DWORD style, int x, int y, int width, int height, HWND parent, void* /*menu*/,
                    HINSTANCE instance, void* /*param*/) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto cls = std::find_if(table.classes.begin(), table.classes.end(), [&](const WindowClass& c) {
    return c.instance == instance && EqualIgnoringAsciiCase(c.name, className);
  });
  if (cls == table.classes.end() || cls->proc == nullptr) return nullptr;
  if ((style & WS_CHILD) != 0 && table.Find(parent) == nullptr) return nullptr;
  auto window = std::make_unique<Window>();
  window->className = cls->name;
  window->title = title;
  window->style = style;
  window->instance = instance;
  window->proc = cls->proc;
  window->background = cls->background;
  window->parent = parent;
  window->x = x;
  window->y = y;
  window->width = std::max(width, 0);
  window->height = std::max(height, 0);
  window->invalid = (style & WS_VISIBLE) != 0;
  window->erase = window->invalid;
  table.lastHandle += 0x10;
  auto* handle = reinterpret_cast<HWND>(table.lastHandle);
  table.windows.emplace(handle, std::move(window));
  return handle;
}

bool DestroyWindow(HWND window) {
  WindowTable& table = Table();
  std::vector<HWND> doomed;
  {
    std::lock_guard lock(table.mutex);
    Window* w = table.Find(window);
    if (w == nullptr || w->destroying) return false;
    // The window, then its descendants breadth first.
    doomed.push_back(window);
    w->destroying = true;
    for (size_t i = 0; i < doomed.size(); ++i) {
      for (auto& [handle, other] : table.windows) {
        if (other->parent == doomed[i] && !other->destroying) {
          other->destroying = true;
          doomed.push_back(handle);
        }
      }
    }
  }
  for (HWND handle : doomed) SendMessage(handle, WM_DESTROY, 0, 0);
  std::lock_guard lock(table.mutex);
  for (HWND handle : doomed) table.windows.erase(handle);
  return true;
}

bool IsWindow(HWND window) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  return table.Find(window) != nullptr;
}

HWND GetParent(HWND window) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  return w == nullptr ? nullptr : w->parent;
}

std::wstring GetWindowText(HWND window) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  return w == nullptr ? std::wstring() : w->title;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    Window* w = table.Find(window);
    if (w == nullptr) return 0;
    proc = w->proc;
  }
  return proc(window, message, wParam, lParam);
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_ERASEBKGND) {
    HBRUSH background = 0;
    RECT client;
    {
      WindowTable& table = Table();
      std::lock_guard lock(table.mutex);
      Window* w = table.Find(window);
      if (w == nullptr) return 0;
      background = w->background;
      client = {0, 0, w->width, w->height};
    }
    auto* dc = reinterpret_cast<HDC>(wParam);
    if (dc != nullptr && background != 0) dc->FillRect(client, Brush{SystemColor(background)});
    return 1;
  }
  return 0;
}

bool InvalidateRect(HWND window, const RECT* /*rect*/, bool erase) {
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    Window* w = table.Find(window);
    if (w == nullptr) return false;
    w->invalid = true;
    w->erase = w->erase || erase;
  }
  if (WindowHost* host = g_host.load()) host->Invalidated(window, erase);
  return true;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  if (w == nullptr) return nullptr;
  w->invalid = false;
  if (paint != nullptr) {
    paint->hdc = w->paintDc;
    paint->fErase = false;
    paint->rcPaint = {0, 0, w->width, w->height};
  }
  return w->paintDc;
}

bool EndPaint(HWND window, const PAINTSTRUCT* /*paint*/) { return IsWindow(window); }

bool GetClientRect(HWND window, RECT* rect) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  if (w == nullptr || rect == nullptr) return false;
  *rect = {0, 0, w->width, w->height};
  return true;
}

bool GetWindowBounds(HWND window, RECT* rect) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  if (w == nullptr || rect == nullptr) return false;
  *rect = {w->x, w->y, w->x + w->width, w->y + w->height};
  return true;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  Point a, b;
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    a = OriginLocked(table, from);
    b = OriginLocked(table, to);
  }
  const int dx = a.x - b.x;
  const int dy = a.y - b.y;
  for (UINT i = 0; points != nullptr && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return static_cast<int>(static_cast<uint32_t>(LoWord(static_cast<uint32_t>(dx))) |
                          (static_cast<uint32_t>(LoWord(static_cast<uint32_t>(dy))) << 16));
}

int MapWindowPoints(HWND from, HWND to, RECT* rect) {
  POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
  int shift = MapWindowPoints(from, to, corners, 2);
  *rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  return shift;
}

bool SetWindowPos(HWND window, HWND /*insertAfter*/, int x, int y, int width, int height,
                  UINT flags) {
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    Window* w = table.Find(window);
    if (w == nullptr) return false;
    if ((flags & SWP_NOMOVE) == 0) {
      w->x = x;
      w->y = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
      w->width = std::max(width, 0);
      w->height = std::max(height, 0);
    }
  }
  if (WindowHost* host = g_host.load()) host->Moved(window);
  return true;
}

WindowHost* SetWindowHost(WindowHost* host) { return g_host.exchange(host); }

void PaintWindow(HWND window, DrawingContext& dc, bool forceErase) {
  bool erase = false;
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    Window* w = table.Find(window);
    if (w == nullptr) return;
    erase = w->erase || forceErase;
    w->erase = false;
    w->paintDc = &dc;
  }
  if (erase) SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&dc), 0);
  SendMessage(window, WM_PAINT, 0, 0);
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (Window* w = table.Find(window)) w->paintDc = nullptr;
}

UpdateState GetUpdateState(HWND window) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  Window* w = table.Find(window);
  return w == nullptr ? UpdateState{} : UpdateState{w->invalid, w->erase};
}

}  // namespace cirrodex::platform
