#pragma once
#include "engine/processing_parameters.h"

namespace panels {

// The ids of every panel's Left, Right and Both radio buttons; the monitor's side is stored as one of them
// ("monitor_side").
inline constexpr int kSideLeft = 1025;
inline constexpr int kSideRight = 1026;
inline constexpr int kSideBoth = 1027;

// What the level monitor reads for a side button.
constexpr engine::MonitorSide MonitorSideOf(int side) {
  return side == kSideRight  ? engine::MonitorSide::kRight
         : side == kSideBoth ? engine::MonitorSide::kBoth
                             : engine::MonitorSide::kLeft;
}

}  // namespace panels
