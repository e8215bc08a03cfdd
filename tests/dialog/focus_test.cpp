// The sheet on a real X server without a window manager, where nobody but the program itself
// gives a new window the keyboard focus: without it, leaving an edit with Tab stores nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>

#include "dialog/property_page.h"
#include "dialog/property_sheet.h"
#include "tests/support/virtual_display.h"

namespace cirrodex {
namespace {

constexpr ControlTemplate kEditControls[] = {
    {ControlKind::Edit, 102, L"", 80, 20, 40, 12, kBorder},
};
constexpr DialogTemplate kEditTemplate{900, L"Edit", 162, 162, kEditControls};

TEST(SheetFocus, ASheetShownAfterAMessageBoxTakesTheKeyboardFocus) {
  if (QApplication::instance() == nullptr) GTEST_SKIP() << "Xvfb (Debian's xvfb) could not start";
  {
    QMessageBox box(QMessageBox::Information, "Cirrodex", "Saved");
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.accept();
  }
  PropertyPage page(kEditTemplate);
  PropertySheet sheet(L"Focus Sheet");
  sheet.AddPage(&page);
  QDialog* window = sheet.Create();
  ASSERT_NE(window, nullptr);
  window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000))
      << "the X server never gave the sheet the keyboard focus";
}

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  cirrodex::testing::VirtualDisplay display;
  if (display.display().empty()) return RUN_ALL_TESTS();
  setenv("DISPLAY", display.display().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  unsetenv("WAYLAND_DISPLAY");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
