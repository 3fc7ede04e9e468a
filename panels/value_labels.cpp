#include "panels/value_labels.h"

#include <algorithm>
#include <cmath>

#include "panels/string_ids.h"
#include "settings/number_text.h"

namespace panels {

std::string VolumeLabel(double gain) {
  const double db = 20.0 * std::log10(std::max(gain, 1e-20));
  if (db <= -40.0) return "mute";
  return settings::FormatFixed(db, 0) + "dB";
}

std::string DecibelLabel(int db) { return settings::FormatInteger(db) + "dB"; }

std::string RateLabel(float rate) {
  if (rate >= 30.0f) return "   INF";
  return settings::FormatFixed(rate, 1) + ":1";
}

std::string MillisecondsLabel(double seconds) { return settings::FormatFixed(seconds * 1000.0, 0) + "ms"; }

int LimiterWarningId(int level, bool amplificator) {
  if (amplificator) return level > 116 ? kStringUnsafeAmplifiedLimit : 0;
  return level > 96 ? kStringUnsafeLimit : 0;
}

}  // namespace panels
