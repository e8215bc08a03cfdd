// The city chooser on a real X server (Xvfb), driven by real key presses (xdotool through the
// XTEST extension): type "reykj", Down, Enter, OK; the slot then holds Reykjavik's code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "setup/sheet/gantrel_dlg.h"
#include "tests/setup/sheet/sheet_test_util.h"

extern char** environ;

namespace cirrodex {
namespace {

// Starts a program with `args` (stderr to /dev/null); its process id, or -1.
pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool Found(const char* program) {
  const pid_t pid = Spawn({"sh", "-c", std::string("command -v ") + program + " >/dev/null"});
  int status = 1;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

class ChooserOnDisplay : public testing::SheetTest {};

TEST_F(ChooserOnDisplay, TypedSearchPicksReykjavikWithTheKeyboard) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X server (Xvfb) started";
  if (!Found("xdotool")) GTEST_SKIP() << "xdotool (Debian's xdotool) is missing";
  const auto folder = testing::InstallFolderPath() / "citycodes";
  std::filesystem::create_directories(folder);
  std::filesystem::copy(testing::SourceDir() / "package" / "citycodes", folder);

  auto sheet = std::make_unique<CGantrelDlg>();
  sheet->SetActivePage(&sheet->locations_);
  QDialog* window = sheet->Create();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

  // The chooser is the window named so; the keys go to it as a user's would. Without a window
  // manager the focus is given to it directly.
  const std::vector<std::string> keys = {
      "sh", "-c",
      "xdotool search --sync --name '^Select Location$' windowfocus --sync && sleep 0.5 && "
      "xdotool type --delay 80 reykj && sleep 1 && xdotool key --delay 300 Down Return Return"};
  pid_t typist = -1;
  QTimer::singleShot(200, [&] { typist = Spawn(keys); });
  // Should the keys go astray, the chooser is cancelled after a while, failing below.
  QTimer::singleShot(20000, [] {
    if (QWidget* chooser = QApplication::activeModalWidget()) chooser->close();
  });
  // The page's Browse of slot 1 runs the chooser modally until the keys above end it.
  bool pickedByKeys = false;
  QTimer::singleShot(0, [&] {
    sheet->locations_.Browse(0);
    pickedByKeys = typist > 0 && waitpid(typist, nullptr, 0) == typist;
  });
  const bool ended = QTest::qWaitFor([&] { return pickedByKeys; }, 30000);
  ASSERT_TRUE(ended) << "the keys did not run";
  EXPECT_EQ(sheet->locations_.Code(0), L"IS000004");
  EXPECT_EQ(sheet->locations_.Name(0), L"Reykjavik");
}

// An X server of its own for the whole program, before the application connects.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-nolisten", "tcp"});
    close(ready[1]);
    std::string number;
    char c = 0;
    while (pid_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    if (c == '\n' && !number.empty()) display_ = ":" + number;
    close(ready[0]);
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  // Listing the tests (as the build does) needs no X server.
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::string(argv[i]) == "--gtest_list_tests";
  std::unique_ptr<cirrodex::VirtualDisplay> display;
  if (!listing) display = std::make_unique<cirrodex::VirtualDisplay>();
  if (!display || display->display().empty()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  } else {
    setenv("DISPLAY", display->display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
