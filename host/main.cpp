// today-host: the Today screen for the Cirrodex plug-in (usage below). Started from an install
// tree it lays out the device folder first; where nothing listens on the weather service's port it
// starts the service of its own install, shared with every other screen and download.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/display_loss.h"
#include "dialog/program_name.h"
#include "dialog/qt_message_box.h"
#include "host/own_service.h"
#include "host/today_screen.h"
#include "host/tray_item.h"
#include "package/device_layout.h"
#include "platform/device.h"
#include "platform/message_box.h"
#include "platform/qt/qt_drawing_context.h"
#include "platform/text.h"

namespace {

struct Options {
  std::string snapshot;
  double after = 3.0;
  bool measureStartup = false;
  bool tray = false;
  int scale = 1;
};

constexpr char kUsage[] =
    "Usage: today-host [--tray] [--scale N] [--snapshot FILE.png [--after SECONDS]]\n"
    "                  [--measure-startup]\n"
    "The Today screen with the Cirrodex weather strip.\n"
    "  --tray              show the weather in the desktop's panel (icon, tooltip, menu of the\n"
    "                      cities) and start with the Today window hidden; a click on the icon\n"
    "                      shows or hides it. Without a panel: one line, and the window shows\n"
    "  --scale N           draw the screen N times larger (1 to 4), snapshots included\n"
    "  --snapshot FILE.png no window: let the items live, write the screen to FILE.png, exit\n"
    "  --after SECONDS     how long before the snapshot (default 3)\n"
    "  --measure-startup   print when the first item was painted\n"
    "  --help, --version\n"
    "Started from an install tree it lays out the device folder ($CIRRODEX_DEVICE, else\n"
    "~/.local/share/cirrodex/device) when needed. When nothing listens on 127.0.0.1:8611 it\n"
    "starts weather-service from its own folder for every screen and download; the service\n"
    "exits by itself 600 seconds after its last request, and a running screen asks it once a\n"
    "minute. Environment:\n"
    "  CIRRODEX_SERVICE_PORT      another port (1 to 65535) for the service, the downloads'\n"
    "                             feeds and the default map addresses\n"
    "  CIRRODEX_FEED_BASE         the feeds' URL up to the city code, in place of the service's\n"
    "                             (alone, it starts no service)\n"
    "  CIRRODEX_SERVICE_UPSTREAM  the service's --upstream\n"
    "  CIRRODEX_SERVICE_IDLE_EXIT its idle seconds (1 to 86400)\n";

[[noreturn]] void Usage(const char* problem) {
  std::fprintf(stderr, "today-host: %s\n%s", problem, kUsage);
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--snapshot" && i + 1 < argc) {
      options.snapshot = argv[++i];
    } else if (arg == "--after" && i + 1 < argc) {
      char* end = nullptr;
      options.after = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(options.after >= 0) || options.after > 86400) {
        Usage("--after wants a number of seconds");
      }
    } else if (arg == "--tray") {
      options.tray = true;
    } else if (arg == "--measure-startup") {
      options.measureStartup = true;
    } else if (arg == "--scale" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value.size() != 1 || value[0] < '1' || value[0] > '4') {
        Usage("--scale wants a whole number from 1 to 4");
      }
      options.scale = value[0] - '0';
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::puts("today-host (Cirrodex) " CIRRODEX_VERSION_TEXT);
      std::exit(0);
    } else {
      Usage(("unknown argument " + arg).c_str());
    }
  }
  return options;
}

// SIGINT and SIGTERM end the event loop, so the items are destroyed (their workers stopped) and
// the notification socket is removed as on any other close. Should that close itself hang, the
// deadline ends the process all the same.
int g_stopPipe[2] = {-1, -1};
constexpr unsigned kStopDeadlineSeconds = 5;

void OnStopDeadline(int) {
  static constexpr char kLine[] = "today-host: the close did not finish in time; exiting\n";
  [[maybe_unused]] ssize_t ignored = write(STDERR_FILENO, kLine, sizeof kLine - 1);
  _exit(1);
}

void CatchStopDeadline() {
  struct sigaction action {};
  action.sa_handler = OnStopDeadline;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
}

void ArmStopDeadline() {
  CatchStopDeadline();
  alarm(kStopDeadlineSeconds);
}

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = write(g_stopPipe[1], &byte, 1);
  alarm(kStopDeadlineSeconds);  // the handler is set before any stop signal is taken
}

void QuitOnStopSignals(QApplication& app) {
  if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_stopPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
  CatchStopDeadline();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const auto started = std::chrono::steady_clock::now();
  const Options options = ParseOptions(argc, argv);
  if (!options.snapshot.empty()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (options.scale > 1) {
    // On top of whatever the desktop asks for.
    const char* desktop = std::getenv("QT_SCALE_FACTOR");
    double factor = desktop != nullptr ? std::atof(desktop) : 1.0;
    if (!(factor > 0)) factor = 1.0;
    setenv("QT_SCALE_FACTOR", std::to_string(factor * options.scale).c_str(), 1);
  }

  // A folder another user could swap is never used: no blank screen, one line and status 1.
  if (const std::string untrusted = cirrodex::platform::DeviceFolderProblem(); !untrusted.empty()) {
    std::fprintf(stderr, "today-host: %s\n", untrusted.c_str());
    return 1;
  }
  std::string problem;
  const auto prepared =
      cirrodex::package::PrepareDeviceFolder(problem, cirrodex::package::FromBuildTree::LayOutNew);
  if (prepared == cirrodex::package::Preparation::Failed) {
    std::fprintf(stderr, "today-host: laying out the device folder: %s\n", problem.c_str());
  }
  // Before the items load, so that their first download finds it. Nobody stops it: other screens
  // and their downloads may be using it, and it exits by itself when nobody asks for its idle time.
  std::vector<std::string> settingProblems;
  cirrodex::host::SharedService service(cirrodex::host::SharedServiceSettings::FromEnvironment(
      cirrodex::package::OwnBinDir() / "weather-service", settingProblems));
  for (const std::string& line : settingProblems) {
    std::fprintf(stderr, "today-host: %s\n", line.c_str());
  }
  service.StartWhereNoneListens();
  if (prepared == cirrodex::package::Preparation::LaidOut) {
    // A new device folder holds no weather, and the item reads a download back only on a pass
    // ten seconds after launching it: the first one runs before the items load.
    cirrodex::host::RunToEnd(
        cirrodex::platform::DevicePath(cirrodex::platform::kDefaultInstallFolder) / "Gantrel.exe",
        "/downloadandexit", 10000);
  }

  QApplication app(argc, argv);
  cirrodex::NameProgramWindows("cirrodex-today");
  QuitOnStopSignals(app);
  cirrodex::host::TodayScreen screen;
  cirrodex::QtMessageBoxHandler boxes;
  cirrodex::platform::SetMessageBoxHandler(&boxes);
  // The items' workers are stopped before the end; should that hang, the deadline ends it.
  cirrodex::EndWhenTheDisplayGoes("today-host", [&screen] {
    ArmStopDeadline();
    screen.EndNow();
  });
  service.KeepWhileRunning();

  if (options.measureStartup) {
    screen.OnFirstItemPaint([started] {
      const auto ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
              .count();
      const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
      std::fprintf(stderr, "today-host: first item painted %.1f ms after start (wall %lld ns)\n",
                   ms, static_cast<long long>(wall));
    });
  }

  int status = 0;
  if (!options.snapshot.empty()) {
    QTimer::singleShot(static_cast<int>(options.after * 1000), Qt::PreciseTimer, &app, [&] {
      const QImage image = screen.grab().toImage();
      if (!cirrodex::platform::SavePng(image, options.snapshot)) {
        std::fprintf(stderr, "today-host: cannot write %s\n", options.snapshot.c_str());
        status = 1;
      }
      app.quit();
    });
  }
  std::unique_ptr<cirrodex::host::TrayItem> tray;
  if (options.tray) tray = cirrodex::host::StartTrayItem(screen);
  if (!tray) screen.show();
  const int loop = app.exec();
  tray.reset();
  cirrodex::EndWhenTheDisplayGoes("today-host", nullptr);
  cirrodex::platform::SetMessageBoxHandler(nullptr);
  return status != 0 ? status : loop;
}
