#pragma once
#include <string>

#include "settings/configuration_model.h"

namespace crash_contents {

// Two clearly different configurations, large enough that writing one takes a while.
inline void Fill(settings::ConfigurationModel& model, int variant) {
  std::vector<settings::CurvePoint> points;
  for (int i = 0; i < 3000; ++i) points.push_back({20.0 + i * 5.0, variant ? -1.25 : 2.5});
  model.leftCurve.SetPoints(points);
  model.rightCurve.SetPoints(points);
  model.compressorValues[0] = {variant ? 10 : 50, variant ? 70 : 55, variant ? 3.0f : 1.5f, 0.01, 0.2};
  model.compressorValues[1] = model.compressorValues[0];
}

}  // namespace crash_contents
