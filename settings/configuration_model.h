#pragma once
#include "settings/compressor_values.h"
#include "settings/curve.h"

namespace settings {

// What a configuration file holds: the two equalizer curves and the compressor values of both sides.
struct ConfigurationModel {
  CCurve leftCurve;   // channel 0
  CCurve rightCurve;  // channel 1
  CompressorPair compressorValues;
};

// The process-wide configuration that the panels edit and the engine follows.
ConfigurationModel& Configuration();

}  // namespace settings
