#pragma once
#include <cstdio>

#include "engine/processing_parameters.h"
#include "platform/user_prompt.h"
#include "settings/configuration_model.h"

// A configuration file is text, one "key = value" line each:
//   compress_left_center = 60            "%d", dB SPL
//   compress_left_threshold = 40         "%d", dB SPL
//   compress_left_rate = 2.00            "%.2f", ratio held as a 32-bit float
//   compress_left_attack = 0.010000      "%f", seconds
//   compress_left_release = 0.200000     "%f", seconds
//   (the same five for "right")
//   equalizer_left = 25=0.00;63=0.00;160=0.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;
//   equalizer_right = ...                frequency (whole Hz) = gain (dB, two decimals) pairs, then gather
// Reading takes a line for a key when it begins with the key; unknown lines (preset display names
// "lang_09_ = ...", comments) are skipped; a key on several lines takes the last one.
namespace settings {

// Reads the compressor values, then each curve, handing everything to the engine's parameters.
// A missing compressor key keeps the model's value (which is handed over as well).
void LoadConfiguration(std::FILE* stream, ConfigurationModel& model, engine::ProcessingParameters& parameters,
                       platform::UserPrompt& prompt);
void LoadConfiguration(std::FILE* stream);

// Appends the ten compressor lines and the two curve lines to the stream.
void StoreConfiguration(std::FILE* stream, ConfigurationModel& model, platform::UserPrompt& prompt);
void StoreConfiguration(std::FILE* stream);

}  // namespace settings
