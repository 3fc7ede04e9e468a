#include "engine/power_table.h"

#include <gtest/gtest.h>

#include <cmath>

using engine::CPowerTable;

TEST(PowerTable, AgreesWithPowAcrossOctavesSlicesAndExponentsAndFallsBackToItOutside) {
  CPowerTable table;
  double worst = 0.0;
  for (double exponent : {-1.0, -0.9667, -0.5, -0.1, 0.0, 0.3, 1.0, 2.0, -2.0}) {
    table.Prepare(exponent);
    // Every slice boundary region of every octave from 2^-40 to 2^8, and points in between.
    for (double x = std::ldexp(1.0, -40); x < 256.0; x *= 1.0 + 1.0 / 97) {
      for (double nudge : {1.0, 1.0 + 1e-15, 1.0 - 1e-15}) {
        const double v = x * nudge;
        const double want = std::pow(v, exponent);
        worst = std::max(worst, std::fabs(table(v) - want) / want);
      }
    }
  }
  EXPECT_LT(worst, 1e-14);

  // Out of range values and exponents fall back to pow. (Zero and negative levels never reach the table: the
  // compressor passes those samples on. A block with a non-finite sample plays as silence whatever the table
  // answers: the chain's test.)
  table.Prepare(-0.5);
  EXPECT_EQ(table(std::ldexp(1.0, -80)), std::pow(std::ldexp(1.0, -80), -0.5));
  EXPECT_EQ(table(std::ldexp(3.0, 70)), std::pow(std::ldexp(3.0, 70), -0.5));

  table.Prepare(9.0);  // a ratio of 0.1: too steep for the series, computed directly
  EXPECT_EQ(table(0.7), std::pow(0.7, 9.0));
  EXPECT_EQ(table.Exponent(), 9.0);
}
