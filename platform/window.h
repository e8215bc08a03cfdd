// Windows and messages: the least of the handheld's window manager that the Today plug-in uses.
// A window is an entry in one process-wide table (this library is shared by the host and the
// plug-ins it loads); its procedure answers the messages sent to it. A handle is an opaque number
// that is never given out again once its window is destroyed. Painting, invalidating and
// resizing reach a host through WindowHost, which the host installs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/drawing_context.h"
#include "platform/message_box.h"

namespace cirrodex::platform {

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using BOOL = int;
using DWORD = uint32_t;
// A module: the handle a host got from loading it.
using HINSTANCE = void*;
// A device context: the drawing context the host hands out for one paint.
using HDC = DrawingContext*;
// A brush given as a system-colour index with the system-colour flag, or null.
using HBRUSH = uintptr_t;
using RECT = Rect;
using POINT = Point;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = BOOL (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_WININICHANGE = 0x001A;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_TODAYCUSTOM_CLEARCACHE = 0x04F2;
inline constexpr UINT WM_TODAYCUSTOM_QUERYREFRESHCACHE = 0x04F3;
// The Today screen's keyboard: the selection reaches an item (wParam: the key that brought it,
// VK_UP, VK_DOWN or 0; an item that cannot be selected returns 0), leaves it, a navigation key
// reaches the selected item (wParam: VK_LEFT, VK_RIGHT, VK_UP or VK_DOWN; it returns 1 when it
// used the key itself, 0 to let the screen move on) and the action key (wParam VK_RETURN) acts on
// what is selected inside it.
inline constexpr UINT WM_TODAYCUSTOM_RECEIVEDSELECTION = 0x04F4;
inline constexpr UINT WM_TODAYCUSTOM_LOSTSELECTION = 0x04F5;
inline constexpr UINT WM_TODAYCUSTOM_USERNAVIGATION = 0x04F6;
inline constexpr UINT WM_TODAYCUSTOM_ACTION = 0x04F7;
// This host's own: what a screen reader says of an item. lParam points at a TODAYACCESSIBLETEXT
// whose buffers the host owns; the item fills both with terminated texts, cut to fit, and returns
// 1. An item that has nothing to say leaves it to the default procedure, which returns 0.
inline constexpr UINT WM_TODAYCUSTOM_GETACCESSIBLETEXT = 0x04FA;
// This host's own, for its panel icon: lParam points at a TODAYPANELINFO that the item fills in
// (texts terminated, cut to fit) before returning 1; an item without a panel face returns 0.
inline constexpr UINT WM_TODAYCUSTOM_GETPANELINFO = 0x04FB;
// This host's own: select city slot wParam (0 to 5) as the Locations page does, show its stored
// weather at once and have the next worker pass download. Returns 1 when the slot holds a city.
inline constexpr UINT WM_TODAYCUSTOM_SELECTCITY = 0x04FC;
// This host's own: an item's commands in the screen's context menu. GETMENUCOMMAND asks for the
// caption of command wParam (0, 1, ...): lParam points at a TODAYMENUCOMMAND whose buffer the host
// owns; the item fills it with a terminated text, cut to fit, and returns 1, or leaves it to the
// default procedure (0) when it has no such command. MENUCOMMAND carries out command wParam.
inline constexpr UINT WM_TODAYCUSTOM_GETMENUCOMMAND = 0x04FD;
inline constexpr UINT WM_TODAYCUSTOM_MENUCOMMAND = 0x04FE;
inline constexpr UINT TODAYM_GETCOLOR = 0x0464;
inline constexpr UINT TODAYM_DRAWWATERMARK = 0x0465;

inline constexpr WPARAM TODAYCOLOR_TEXT = 0x10000004;
// wParam of the WM_WININICHANGE that tells the Today screen to re-read its items.
inline constexpr WPARAM INI_TODAY_REFRESH = 0xF2;

inline constexpr WPARAM VK_RETURN = 0x0D;
inline constexpr WPARAM VK_LEFT = 0x25;
inline constexpr WPARAM VK_UP = 0x26;
inline constexpr WPARAM VK_RIGHT = 0x27;
inline constexpr WPARAM VK_DOWN = 0x28;

inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr HBRUSH SYS_COLOR_INDEX_FLAG = 0x40000000;
inline constexpr HBRUSH COLOR_WINDOW_BRUSH = SYS_COLOR_INDEX_FLAG | COLOR_WINDOW;  // 0x40000005

inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;

inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;

inline constexpr uint16_t LoWord(uintptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
inline constexpr uint16_t HiWord(uintptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
inline constexpr LPARAM MakeLParam(uint16_t low, uint16_t high) {
  return static_cast<LPARAM>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  void* hIcon = nullptr;
  void* hCursor = nullptr;
  HBRUSH hbrBackground = 0;
  const wchar_t* lpszMenuName = nullptr;
  const wchar_t* lpszClassName = nullptr;
};

// The Today screen's record of one item, field for field as the host keeps it.
// Where the Today screen finds its items: a subkey per item under HKEY_LOCAL_MACHINE, whose value
// "DLL" names the item's module as a handheld path.
inline constexpr wchar_t kTodayItemsKey[] = L"Software\\Microsoft\\Today\\Items";

// The Today screen's colours, which a strip keeps wherever it is drawn: icons and maps are copied
// opaque on a white ground of their own and the texts run over them, so the text stays dark on
// white even on a page of a dark desktop palette.
inline constexpr Color kStripBackground = Rgb(0xFF, 0xFF, 0xFF);
inline constexpr Color kStripText = Rgb(0x1A, 0x22, 0x30);
inline constexpr wchar_t kTodayItemModuleValue[] = L"DLL";

enum TODAYLISTITEMTYPE : int32_t {
  tlitOwnerInfo = 0,
  tlitAppointments,
  tlitMail,
  tlitTasks,
  tlitCustom,
  tlitNil
};
inline constexpr int MAX_ITEMNAME = 32;
inline constexpr int MAX_PATH = 260;

struct TODAYLISTITEM {
  wchar_t szName[MAX_ITEMNAME] = {};
  TODAYLISTITEMTYPE tlit = tlitCustom;
  DWORD dwOrder = 0;
  DWORD cyp = 0;  // the item's height in pixels, written by the item
  BOOL fEnabled = 0;
  BOOL fOptions = 0;
  DWORD grfFlags = 0;
  wchar_t szDLLPath[MAX_PATH] = {};
  HINSTANCE hinstDLL = nullptr;
  HWND hwndCustom = nullptr;
  BOOL fSizeOnDraw = 0;
  uint8_t* prgbCachedData = nullptr;
  DWORD cbCachedData = 0;
};

// Plain C: it crosses the plug-in boundary. Sizes count characters, the terminator included.
struct TODAYACCESSIBLETEXT {
  wchar_t* name = nullptr;  // what the item is (the city), and what is selected in it
  DWORD nameSize = 0;
  wchar_t* description = nullptr;  // what it shows, read in order
  DWORD descriptionSize = 0;
};

// Plain C as well. Sizes count characters, the terminator included; an empty city name is an
// empty slot.
inline constexpr int TODAYPANEL_CITIES = 6;
inline constexpr int TODAYPANEL_NAMESIZE = 64;
struct TODAYPANELINFO {
  wchar_t iconPath[MAX_PATH] = {};  // the current condition's icon, a handheld path; may be empty
  wchar_t temperature[16] = {};     // the current temperature as the panel shows it ("7°")
  wchar_t cityNames[TODAYPANEL_CITIES][TODAYPANEL_NAMESIZE] = {};
  int32_t selectedCity = -1;     // the selected slot, 0 to 5
  wchar_t rainNotice[128] = {};  // the last notice of rain about to begin; may be empty
  DWORD rainNoticeSerial = 0;    // counts the notices given; a new one is to be shown
};

struct TODAYMENUCOMMAND {
  wchar_t* caption = nullptr;
  DWORD captionSize = 0;
};

struct TODAYDRAWWATERMARKINFO {
  HDC hdc = nullptr;
  RECT rc;
  HWND hwnd = nullptr;
};

// Registers a class for `hInstance`. False when the name is missing or a class of that name is
// already registered for that instance.
bool RegisterClass(const WNDCLASS& windowClass);
// False when no such class is registered for the instance.
bool UnregisterClass(std::wstring_view className, HINSTANCE instance);

// Creates a window of a class registered for `instance` and returns it; null when there is no
// such class or a WS_CHILD window has no live parent. (x, y) is relative to the parent.
HWND CreateWindowEx(DWORD exStyle, std::wstring_view className, std::wstring_view title,
                    DWORD style, int x, int y, int width, int height, HWND parent, void* menu,
                    HINSTANCE instance, void* param);
// Sends WM_DESTROY to the window, then to its children, and removes them all. False for a handle
// that is not a live window.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);
HWND GetParent(HWND window);
std::wstring GetWindowText(HWND window);

// Calls the window's procedure on the calling thread and returns its answer; 0 for a handle that
// is not a live window.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// What a window does with a message it does not handle itself: WM_ERASEBKGND fills the client
// rectangle with the class brush and returns 1; everything else returns 0.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Marks the window for repainting (the rectangle is ignored: the whole client area repaints) and
// tells the host. Safe from any thread. False for a handle that is not a live window.
bool InvalidateRect(HWND window, const RECT* rect, bool erase);

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  bool fErase = false;
  RECT rcPaint;
};
// Hands out the drawing context of the paint the host is running for this window (null outside
// one) and validates the window.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
bool EndPaint(HWND window, const PAINTSTRUCT* paint);

// {0, 0, width, height}. False (rect untouched) for a handle that is not a live window.
bool GetClientRect(HWND window, RECT* rect);
// Moves points from `from`'s client coordinates to `to`'s (null: the screen). Returns the
// horizontal shift in the low word and the vertical one in the high word, as the platform does.
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
// A rectangle is two points, as the platform lets callers pass it.
int MapWindowPoints(HWND from, HWND to, RECT* rect);
// Moves and/or resizes (SWP_NOMOVE, SWP_NOSIZE; z-order is not kept). Safe from any thread: the
// host hears of the change. False for a handle that is not a live window.
bool SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// The window's rectangle in its parent's client coordinates (the screen's for a top-level one).
bool GetWindowBounds(HWND window, RECT* rect);

// What a window needs from the program that shows it. Every call comes without any lock of the
// window table held; Invalidated and Moved may come from any thread, so a host queues them to its
// user-interface thread.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual void Invalidated(HWND window, bool erase) = 0;
  virtual void Moved(HWND window) = 0;
};
// Installs `host` (not owned; null removes it). Returns the previous one.
WindowHost* SetWindowHost(WindowHost* host);

// Runs one paint of `window` on `dc` for the host: WM_ERASEBKGND (wParam = dc) when an erase is
// pending or `forceErase`, then WM_PAINT, with BeginPaint handing out `dc`. The window's client
// origin is the origin of `dc`.
void PaintWindow(HWND window, DrawingContext& dc, bool forceErase);

// Whether the window waits for a paint, and with its background erased (for tests and hosts).
struct UpdateState {
  bool invalid = false;
  bool erase = false;
};
UpdateState GetUpdateState(HWND window);

}  // namespace cirrodex::platform
