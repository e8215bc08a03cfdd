// Dialog templates: the controls of a page or dialog with their numeric ids, texts and positions
// in dialog units, as the resource compiler would have laid them out.
#pragma once

#include <span>
#include <string_view>

#include "platform/message_box.h"

namespace cirrodex {

// The id of controls that are never addressed (labels, group boxes).
inline constexpr int kNoControlId = -1;
// The OK and Cancel buttons have the ids of the message box's answers.
using platform::IDCANCEL;
using platform::IDOK;

enum class ControlKind {
  Static,
  GroupBox,
  PushButton,
  DefaultPushButton,
  RadioButton,
  CheckBox,
  Edit,
  ComboBox,
  Slider,
};

// Style bits beyond the kind.
enum ControlStyle : unsigned {
  kStyleNone = 0,
  kGroupStart = 1u << 0,   // first control of a radio group
  kTextOnLeft = 1u << 1,   // check box with its text before the box
  kUppercase = 1u << 2,    // edit that turns typed letters into capitals
  kBorder = 1u << 3,       // edit with a border
  kAutoHScroll = 1u << 4,  // edit or combo box that scrolls its text horizontally
};

struct ControlTemplate {
  ControlKind kind = ControlKind::Static;
  int id = kNoControlId;
  std::wstring_view text;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;  // for a combo box: the height with its list dropped down
  unsigned style = kStyleNone;
  // A combo box's initial list, inserted in order when the window is created.
  std::span<const std::wstring_view> items = {};
};

// Sizes in dialog units of the template's font (8-point "Tahoma" for every template here).
struct DialogTemplate {
  int id = 0;
  std::wstring_view caption;
  int cx = 0;
  int cy = 0;
  std::span<const ControlTemplate> controls;
};

// Every page of the setup program is this size.
inline constexpr int kPageWidthDlu = 162;
inline constexpr int kPageHeightDlu = 162;

}  // namespace cirrodex
