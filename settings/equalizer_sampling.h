#pragma once
#include "engine/processing_parameters.h"
#include "settings/curve.h"

namespace settings {

// Hands the curve's gains at the eight band frequencies to the engine for one channel.
void ApplyCurveToEqualizer(CCurve& curve, int channel, engine::ProcessingParameters& parameters);
// Left curve to channel 0, then right curve to channel 1.
void ApplyCurvesToEqualizer(CCurve& leftCurve, CCurve& rightCurve, engine::ProcessingParameters& parameters);

}  // namespace settings
