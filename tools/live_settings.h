#pragma once
#include "engine/processing_parameters.h"
#include "tools/cli_arguments.h"

namespace cli {

// What `live` starts from: the desktop program's own stored settings (the current selection, which may be
// a preset, a user file or the kept "Custom.tvh"; the volume; the limiter; the amplifier switch), then
// each processing option that the command line names, which wins over its stored counterpart.
void ApplyLiveSettings(const ProcessingOptions& options, engine::ProcessingParameters& parameters);

}  // namespace cli
