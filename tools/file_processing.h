#pragma once
#include <cstdio>
#include <string>

#include "engine/processing_parameters.h"

namespace cli {

// Runs a sound file through the engine's channel chain, in blocks of about 10 ms as the live engine does,
// and writes the result in the format the output's extension names (OutputFormatFor). The output appears
// only when complete: it is written beside the target under a temporary name (TemporaryOutput) and renamed
// at the end. A cut-short input is warned about on stderr. Throws RunError.
void RenderFile(const std::string& input, const std::string& output, engine::ProcessingParameters& parameters);

// The engine's level analysis of every block of `frames` frames, one CSV line per block after the header
// "time_s,b25,b63,b160,b400,b1000,b2500,b6300,b16000,total". `side` is the channel read.
void AnalyzeFile(const std::string& input, engine::MonitorSide side, int frames,
                 engine::ProcessingParameters& parameters, std::FILE* csv);

// Writes `text` to `path` through a temporary file and a rename, so no partial file is ever left.
void WriteFileAtomically(const std::string& path, const std::string& text);

}  // namespace cli
