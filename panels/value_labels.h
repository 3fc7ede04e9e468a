#pragma once
#include <string>

// The texts under the sliders. Numbers never follow the desktop's locale ("29.9:1", not "29,9:1").
namespace panels {

// Output volume of a linear gain: "mute" at -40 dB and below, else whole dB without a plus sign.
std::string VolumeLabel(double gain);
// "%ddB"
std::string DecibelLabel(int db);
// "%.1f:1", or "   INF" from 30 up (the slider's top means no limit to the ratio).
std::string RateLabel(float rate);
// Seconds shown as whole milliseconds, "%.0fms".
std::string MillisecondsLabel(double seconds);
// String id of the limiter's warning for the level shown, or 0 when the level is safe.
int LimiterWarningId(int level, bool amplificator);

}  // namespace panels
