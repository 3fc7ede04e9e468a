#include <gtest/gtest.h>

#include "graphs/graph_limiter.h"

TEST(GraphLimiter, Builds) {
  graphs::GraphLimiter graph;
  graph.resize(318, 232);
  graph.SetLevels(94, 94);
  EXPECT_FALSE(graph.grab().isNull());
}
