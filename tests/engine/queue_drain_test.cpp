// Delay that a late block leaves in the output queue is taken out again; a queue that only swings is not
// touched.
#include "tests/engine/engine_fixture.h"

namespace engine_tests {
namespace {

class QueueDrain : public SteppedEngine, public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  void Queue(int count) {
    std::vector<double> block(441, 0.25);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(output().WriteChannel(block.data(), 441, 0), 441);
      ASSERT_EQ(output().WriteChannel(block.data(), 441, 1), 441);
      output().Submit(441);
    }
  }
  int Skip() {
    platform::Guard guard(link().RingLock());
    return link().SkipCounter();
  }
};

// (shallowest depth in a second of steady blocks, blocks the driver link is asked to drop)
TEST_P(QueueDrain, ExcessThatStaysForASecondIsDropped) {
  const auto [shallowest, dropped] = GetParam();
  StartStereo16();
  Queue(6);
  devices.Play(6 - shallowest - 1);
  int asked = 0;
  for (int block = 0; block < 100; ++block) {
    // Each block: regulated, written, and one buffer played; the depth dips to `shallowest` once.
    if (block == 50) devices.Play(1);
    output().Regulate();
    asked = std::max(asked, Skip());
    Queue(1);
    devices.Play(block == 50 ? 0 : 1);
  }
  EXPECT_EQ(asked, dropped);
  EXPECT_EQ(output().Statistics().silentBuffersInserted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, QueueDrain,
                         ::testing::Values(std::pair{2, 0}, std::pair{3, 0}, std::pair{4, 1}, std::pair{5, 2}));

}  // namespace
}  // namespace engine_tests
