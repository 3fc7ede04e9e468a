#include "app/run_desktop.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cstdio>
#include <cstring>

#include "app/app_icon.h"
#include "app/main_frame.h"
#include "app/tonvex_app.h"

namespace desktop {
namespace {

int endSignalPipe[2] = {-1, -1};

// SIGTERM, SIGINT (Ctrl+C in a terminal) and SIGHUP (the desktop session ending) only wake the window's
// thread, which shuts down in order.
void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = write(endSignalPipe[1], &byte, 1);
}

}  // namespace

int RunDesktop(int argc, char** argv, const std::function<void(CTonvexApp&)>& started) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tonvex 1.0\n");
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "Usage: tonvex [/F FILE | /S]\n"
        "  (none)      start the equalizer; the virtual device becomes the default playback device\n"
        "  /F FILE     take in a preset (.tvd) or name a user configuration (.tva); with Tonvex\n"
        "              already running, the running one comes forward\n"
        "  /S          started again after an update\n"
        "  --version   print the version\n"
        "  -h, --help  print this help\n"
        "Without a display, run `tonvex-cli live` instead; `tonvex-cli control` steers the running program.\n"
        "\n"
        "Exit status: 0 the program ended normally (or printed what was asked), 1 the start was refused\n"
        "(Tonvex already runs, arguments not understood, a file refused, no instance lock).\n"
        "Messages go to standard error. See tonvex(1).\n");
    return 0;
  }
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  application.setWindowIcon(AppIcon());
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CTonvexApp tonvex(arguments, QDir::currentPath().toStdString());
  if (!tonvex.InitInstance()) {
    tonvex.ExitInstance();
    return 1;
  }

  CMainFrame* frame = tonvex.Frame();
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, endSignalPipe) == 0) {
    auto* notifier = new QSocketNotifier(endSignalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, frame, [frame] { frame->EndSession(); });
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  }
  QObject::connect(&application, &QGuiApplication::commitDataRequest, frame,
                   [frame](QSessionManager&) { frame->EndSession(); });
  if (started) started(tonvex);
  application.exec();
  return tonvex.ExitInstance();
}

}  // namespace desktop
