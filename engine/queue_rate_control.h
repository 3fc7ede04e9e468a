#pragma once

namespace engine {

// Holds an output queue at a target depth in time by small changes of the playback rate, so the latency is
// low and the same every time instead of wherever a stream's start left it. Fed the depth measured right after
// each write, it returns the factor by which the device is to play faster (above 1) or slower (below 1) than
// the nominal rate. The measurement is smoothed over seconds: the capture side hands blocks over up to a block
// early or late in a slow sawtooth (a few seconds long; the virtual device's clock against the block grid),
// which the output must ride out, not follow, for the latency to stay put. Errors within a small band are left
// alone, the correction is proportional and integral (the integral takes up a steady clock difference between
// capture and playback), it never goes beyond ±1 % and moves by at most 2 per mille a second (no audible glide).
//
// The target is one block plus a margin for the sawtooth and the engine's late wake-ups. An underrun shows the
// margin was too small: it grows at once (once per stall: a stalled server reports several in a row). Not when
// the writes stopped for longer than a grown margin would have covered (the program was stopped, or the machine
// took the processor from it): that underrun says nothing about the margin, and growing it would only add
// latency. It shrinks only after a clean stretch whose lowest depth (just before a write) stayed above the
// low-water mark, by part of the room there was: the target settles near the smallest depth that plays without
// underruns on this machine, without probing for them. The margin survives Restart: it belongs to the machine,
// not to one stream.
//
// Pure arithmetic on the values given: no clock, no allocation, no lock.
class QueueRateControl {
 public:
  static constexpr double kMaxCorrection = 0.01;        // the rate stays within ±1 % of nominal
  static constexpr double kMaxChangePerSecond = 0.002;  // the rate moves by at most 2 per mille a second
  static constexpr double kStartMarginUs = 14000;       // a block's sawtooth and a few ms of late wake-ups
  static constexpr double kMinMarginUs = 4000;          // below this a scheduler's hiccup is an underrun
  static constexpr double kMaxMarginUs = 40000;         // the outer band takes over beyond this
  static constexpr double kMarginGrowthUs = 4000;       // added by an underrun
  static constexpr double kUnderrunBurstUs = 2e6;       // underruns this soon after a growth: the same stall
  static constexpr double kCleanStretchUs = 60e6;       // how long the queue must play clean before a shrink
  // The lowest depth a clean stretch must have kept, just before a write, for the margin to shrink: the
  // device's own render-ahead and a little more. Half the room above it goes, at most kMaxShrinkUs at a time.
  static constexpr double kLowWaterUs = 5000;
  static constexpr double kMaxShrinkUs = 2000;
  static constexpr double kSmoothingUs = 1.5e6;  // time constant of the depth's smoothing: flattens the sawtooth
  // Errors within this band change nothing: the depth's reading is no more exact, and a rate that stays put is
  // a pitch that stays put.
  static constexpr double kDeadBandUs = 2000;
  static constexpr double kProportionalPerUs = 2e-7;  // 10 ms beyond the band: 0.2 % faster or slower
  static constexpr double kIntegralPerUs2 = 1e-14;    // critically damped with the proportional term

  // `marginUs`: what an earlier stream on this machine has learned (kept within the bounds).
  explicit QueueRateControl(double blockUs, double marginUs = kStartMarginUs)
      : blockUs_(blockUs),
        marginUs_(marginUs < kMinMarginUs   ? kMinMarginUs
                  : marginUs > kMaxMarginUs ? kMaxMarginUs
                                            : marginUs) {}

  // A new stream: nominal rate, nothing measured yet. The margin learned so far is kept.
  void Restart();
  // One measurement: the queue holds `depthUs` now, `elapsedUs` after the previous measurement. Returns the
  // rate factor to play at from now on.
  double Update(double depthUs, double elapsedUs);
  // The depth just before a write: the lowest the queue came to.
  void NoteLowest(double depthUs);
  // The queue ran dry. `writeGapUs`: the longest the writes stopped around it (since the last write, or
  // between the last two).
  void OnUnderrun(double writeGapUs);

  double TargetUs() const { return blockUs_ + marginUs_; }
  double MarginUs() const { return marginUs_; }
  double Rate() const { return 1.0 + correction_; }
  double SmoothedDepthUs() const { return smoothedUs_; }

 private:
  static constexpr double kNotMeasured = 1e300;
  const double blockUs_;
  double marginUs_;
  double cleanUs_ = 0;                       // played since the last underrun or the last shrink of the margin
  double lowestUs_ = kNotMeasured;           // the lowest depth of that stretch
  double sinceGrowthUs_ = kUnderrunBurstUs;  // played since an underrun last grew the margin
  bool measured_ = false;
  double smoothedUs_ = 0;
  double integral_ = 0;
  double correction_ = 0;
};

}  // namespace engine
