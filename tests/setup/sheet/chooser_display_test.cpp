// The city chooser on a real X server (Xvfb), driven by real key presses (xdotool through the
// XTEST extension): type "reykj", Down, Enter, OK; the slot then holds Reykjavik's code.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "setup/sheet/gantrel_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"
#include "tests/support/virtual_display.h"

namespace cirrodex {
namespace {

class ChooserOnDisplay : public testing::SheetTest {};

TEST_F(ChooserOnDisplay, TypedSearchPicksReykjavikWithTheKeyboard) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X server (Xvfb) started";
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is missing";
  const auto folder = testing::InstallFolderPath() / "citycodes";
  std::filesystem::create_directories(folder);
  std::filesystem::copy(testing::SourceDir() / "package" / "citycodes", folder);
  auto sheet = std::make_unique<CGantrelDlg>();
  sheet->SetActivePage(&sheet->locations_);
  QDialog* window = sheet->Create();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

  // The keys go to the chooser's window as a user's would; without a window manager the focus
  // is given to it directly.
  std::thread typist([] {
    std::system(
        "xdotool search --sync --name '^Select Location$' windowfocus --sync && sleep 0.5 && "
        "xdotool type --delay 80 reykj && sleep 1 && xdotool key --delay 300 Down Return Return");
  });
  // Should the keys go astray, the chooser is cancelled after a while, failing below.
  QTimer::singleShot(20000, [] {
    if (QWidget* chooser = QApplication::activeModalWidget()) chooser->close();
  });
  sheet->locations_.Browse(0);
  typist.join();
  EXPECT_EQ(sheet->locations_.Code(0), L"IS000004");
  EXPECT_EQ(sheet->locations_.Name(0), L"Reykjavik");
}

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  // Listing the tests (as the build does) needs no X server.
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::string(argv[i]) == "--gtest_list_tests";
  std::unique_ptr<cirrodex::testing::VirtualDisplay> display;
  if (!listing) display = std::make_unique<cirrodex::testing::VirtualDisplay>();
  const bool x = display && !display->display().empty();
  if (x) setenv("DISPLAY", display->display().c_str(), 1);
  setenv("QT_QPA_PLATFORM", x ? "xcb" : "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
