#include "settings/equalizer_sampling.h"

#include "settings/configuration_model.h"

namespace settings {

void ApplyCurveToEqualizer(CCurve& curve, int channel, engine::ProcessingParameters& parameters) {
  for (int band = 0; band < static_cast<int>(bandFrequencies.size()); ++band)
    parameters.SetEqualizerBandGain(band, curve.GainAt(bandFrequencies[band]), channel);
}

void ApplyCurvesToEqualizer(CCurve& leftCurve, CCurve& rightCurve, engine::ProcessingParameters& parameters) {
  ApplyCurveToEqualizer(leftCurve, 0, parameters);
  ApplyCurveToEqualizer(rightCurve, 1, parameters);
}

}  // namespace settings
