#pragma once
#include <string>
#include <vector>

#include "audio/run_error.h"

namespace cli {

// No Tonvex answers on the session bus; main prints it and exits with status 3.
class NotRunning : public audio::RunError {
 public:
  using audio::RunError::RunError;
};

// `tonvex-cli control preset NAME | file PATH | bypass on|off|toggle | status`: calls the running desktop
// program on the session bus and prints what `status` answers, a line per value. UsageError for a wrong call,
// NotRunning when no Tonvex answers, RunError when it refuses (no such preset, an unreadable file).
int RunControl(const std::vector<std::string>& args);

}  // namespace cli
