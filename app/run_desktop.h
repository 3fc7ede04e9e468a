#pragma once
#include <functional>

namespace desktop {

class CTonvexApp;

// The desktop program from its command line to its exit status: "--version" and "--help" first, without a
// display; then the start, the message loop (SIGTERM, SIGHUP and the end of the desktop session shut down in
// order, asking nothing) and the shutdown. `started` runs once the start went through (the end-to-end
// driver hooks in there).
int RunDesktop(int argc, char** argv, const std::function<void(CTonvexApp&)>& started = {});

}  // namespace desktop
