#pragma once
#include <array>

#include "engine/biquad.h"
#include "engine/processing_parameters.h"
#include "engine/signal_buffer.h"

namespace engine {

// Eight peaking bands per channel, half an octave wide, run in series lowest first. Section index is
// channel + 2 * band, the same as the EqualizerBand table's.
class CEqualizerBank {
 public:
  static constexpr double kBandwidthOctaves = 0.5;

  explicit CEqualizerBank(EqualizerParameters& parameters);
  virtual ~CEqualizerBank() = default;

  // On a new rate every band is redesigned at the next block; bands at or above twice the rate are switched
  // off (and any band at or above half the rate designs as the identity anyway).
  void FollowSampleRate(int sampleRate);
  void Reset();
  // Redesigns the channel's dirty bands whose lock is free, then filters the enabled ones in place.
  // A section whose history became non-finite (a non-finite input) restarts from silence at the block's
  // end; Run then returns false.
  bool Run(CSignalBuffer& buffer, int channel);
  // Run for channel 0 on `left` and channel 1 on `right` (the same length), with exactly the same results,
  // filtering both channels together where their enabled bands match.
  bool RunStereo(CSignalBuffer& left, CSignalBuffer& right);

  int SampleRate() const { return sampleRate_; }
  const CBiquad& Section(int band, int channel) const { return sections_[BandIndex(band, channel)]; }

 private:
  struct ActiveBands {
    std::array<CBiquad*, kBandCount> section{};
    std::array<int, kBandCount> band{};  // zero past `count`, so that two lists compare by their bands only
    int count = 0;
  };
  // Redesigns the channel's dirty bands whose lock is free; returns its enabled sections, lowest first.
  ActiveBands Prepare(int channel);
  static void Filter(const ActiveBands& active, CSignalBuffer& buffer);
  // Resets the sections whose history is not finite; false if there was one.
  static bool ResetNonFinite(const ActiveBands& active);
  // Checks (and resets) both sides, and says whether both were finite.
  static bool BothFinite(const ActiveBands& left, const ActiveBands& right);

  EqualizerParameters& parameters_;
  std::array<CBiquad, 2 * kBandCount> sections_;
  int sampleRate_ = 0;
};

}  // namespace engine
