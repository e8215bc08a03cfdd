// today-host: the Today screen for the Cirrodex plug-in.
//   today-host                                 a window on the display
//   today-host --snapshot FILE.png [--after S] no display: let the items live S seconds (default
//                                              3), write the screen to FILE.png and exit
//   --measure-startup                          print when the first item was painted
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

#include "dialog/qt_message_box.h"
#include "host/today_screen.h"
#include "platform/message_box.h"
#include "platform/qt/qt_drawing_context.h"
#include "platform/text.h"

namespace {

struct Options {
  std::string snapshot;
  double after = 3.0;
  bool measureStartup = false;
};

[[noreturn]] void Usage(const char* problem) {
  std::fprintf(stderr,
               "today-host: %s\nusage: today-host [--snapshot FILE.png [--after SECONDS]] "
               "[--measure-startup]\n",
               problem);
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
    } else if (arg == "--measure-startup") {
      options.measureStartup = true;
    } else {
      Usage(("unknown argument " + arg).c_str());
    }
  }
  return options;
}

// SIGINT and SIGTERM end the event loop, so the items are destroyed (their workers stopped) and
// the notification socket is removed as on any other close.
int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = write(g_stopPipe[1], &byte, 1);
}

void QuitOnStopSignals(QApplication& app) {
  if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_stopPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
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

  QApplication app(argc, argv);
  QuitOnStopSignals(app);
  cirrodex::host::TodayScreen screen;
  cirrodex::QtMessageBoxHandler boxes;
  cirrodex::platform::SetMessageBoxHandler(&boxes);

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
  screen.show();
  const int loop = app.exec();
  cirrodex::platform::SetMessageBoxHandler(nullptr);
  return status != 0 ? status : loop;
}
