#include "engine/queue_rate_control.h"

#include <algorithm>

namespace engine {

void QueueRateControl::Restart() {
  measured_ = false;
  smoothedUs_ = integral_ = correction_ = 0;
  cleanUs_ = 0;
  lowestUs_ = kNotMeasured;
  sinceGrowthUs_ = kUnderrunBurstUs;
}

void QueueRateControl::NoteLowest(double depthUs) { lowestUs_ = std::min(lowestUs_, depthUs); }

double QueueRateControl::Update(double depthUs, double elapsedUs) {
  elapsedUs = std::max(elapsedUs, 0.0);
  if (!measured_) {
    // The first measurement of a stream stands for itself: there is no history to smooth it with.
    measured_ = true;
    smoothedUs_ = depthUs;
    return Rate();
  }
  smoothedUs_ += (depthUs - smoothedUs_) * std::min(1.0, elapsedUs / kSmoothingUs);

  cleanUs_ += elapsedUs;
  sinceGrowthUs_ += elapsedUs;
  if (cleanUs_ >= kCleanStretchUs) {
    const double roomUs = lowestUs_ - kLowWaterUs;
    if (lowestUs_ != kNotMeasured && roomUs > 0)
      marginUs_ = std::max(kMinMarginUs, marginUs_ - std::min(roomUs / 2, kMaxShrinkUs));
    cleanUs_ = 0;
    lowestUs_ = kNotMeasured;
  }

  // Too deep: play faster. The integral alone holds what a steady clock difference needs, so it is kept within
  // the same bound as the whole correction and cannot wind up beyond it; inside the dead band it holds still.
  const double offUs = smoothedUs_ - TargetUs();
  const double errorUs = offUs > kDeadBandUs ? offUs - kDeadBandUs : offUs < -kDeadBandUs ? offUs + kDeadBandUs : 0.0;
  integral_ = std::clamp(integral_ + kIntegralPerUs2 * errorUs * elapsedUs, -kMaxCorrection, kMaxCorrection);
  const double wanted = std::clamp(kProportionalPerUs * errorUs + integral_, -kMaxCorrection, kMaxCorrection);
  const double step = kMaxChangePerSecond * elapsedUs / 1e6;
  correction_ = std::clamp(wanted, correction_ - step, correction_ + step);
  return Rate();
}

void QueueRateControl::OnUnderrun(double writeGapUs) {
  cleanUs_ = 0;
  lowestUs_ = kNotMeasured;
  if (sinceGrowthUs_ < kUnderrunBurstUs) return;
  if (writeGapUs > blockUs_ + marginUs_ + kMarginGrowthUs) return;
  sinceGrowthUs_ = 0;
  marginUs_ = std::min(kMaxMarginUs, marginUs_ + kMarginGrowthUs);
}

}  // namespace engine
