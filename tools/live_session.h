#pragma once
#include <string>

#include "tools/cli_arguments.h"

namespace cli {

// The live engine without a window: the virtual device becomes the default sink, the engine plays on
// `outputDevice` (a sink's description or name; empty = the output rule, see output_selection.h), a
// status line goes to stdout every second, and SIGINT or SIGTERM ends it, handing the default sink back
// to that output. `backend` is "pulse", "pipewire" or empty (see LiveAudio). Returns the exit status.
int RunLive(const ProcessingOptions& options, const std::string& outputDevice, const std::string& backend = "");

}  // namespace cli
