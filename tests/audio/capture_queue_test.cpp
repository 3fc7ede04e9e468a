#include "audio/capture_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <span>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using audio::CaptureQueue;
using audio::MakeStreamFormat;

std::vector<uint8_t> Ramp(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  std::iota(data.begin(), data.end(), uint8_t(1));
  return data;
}

// A store of one protocol block and a reader's buffer of that size.
class CaptureQueueTest : public ::testing::Test {
 protected:
  uint32_t Read() { return queue.Read(out); }
  CaptureQueue queue{engine::kMaxBlockBytes};
  std::vector<uint8_t> out = std::vector<uint8_t>(engine::kMaxBlockBytes);
};

TEST_F(CaptureQueueTest, FormatReportComesBeforeDataAndBlocksAreWholeFrames) {
  EXPECT_EQ(Read(), engine::kReadNothingWaiting);

  // Blocks are 10 ms of whole frames, never more than one protocol block, and never one or two bytes
  // (those would read as format and stop answers).
  const auto wide = MakeStreamFormat(2, 64, 192000);
  EXPECT_TRUE(wide.blockBytes <= engine::kMaxBlockBytes && wide.blockBytes % 16 == 0) << wide.blockBytes;
  EXPECT_GT(MakeStreamFormat(1, 8, 100).blockBytes, 2u);
  queue.Start(MakeStreamFormat(2, 16, 48000));  // 1920-byte blocks
  auto data = Ramp(5000);
  queue.Push(data);
  EXPECT_EQ(Read(), engine::kReadFormatChanged);
  engine::StreamFormat format;
  ASSERT_TRUE(queue.ReadFormat(&format));
  EXPECT_EQ(format.samplesPerSec, 48000u);
  EXPECT_EQ(format.blockBytes, 1920u);
  EXPECT_EQ(Read(), 1920u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1920, data.begin()));
  EXPECT_EQ(Read(), 1920u);
  // 1160 bytes are left: less than a block, so nothing is waiting while the stream goes on.
  EXPECT_EQ(Read(), engine::kReadNothingWaiting);
  // A smaller reader buffer gets whole frames only.
  queue.Push(std::span(data).first(800));
  EXPECT_EQ(queue.Read(std::span(out).first(1001)), 1000u);
}

TEST_F(CaptureQueueTest, StopComesAfterTheTailAndDataAfterAStopNeedsAFormatReport) {
  queue.Start(MakeStreamFormat(2, 16, 48000));
  ASSERT_EQ(Read(), engine::kReadFormatChanged);
  auto data = Ramp(1920 + 402);  // one block and a tail that is not a whole frame
  queue.Push(data);
  queue.Stop();
  EXPECT_FALSE(queue.Streaming());
  queue.Push(data);  // refused while stopped
  EXPECT_EQ(Read(), 1920u);
  EXPECT_EQ(Read(), 400u);
  EXPECT_EQ(Read(), engine::kReadStopped);
  EXPECT_EQ(Read(), engine::kReadNothingWaiting);
  EXPECT_TRUE(queue.Drained());

  queue.Start(MakeStreamFormat(2, 16, 48000));
  queue.Push(std::span(data).first(1920));
  EXPECT_EQ(Read(), engine::kReadFormatChanged);
  EXPECT_EQ(Read(), 1920u);
}

// A tail of one 16-bit mono frame would read as "stopped"; a stream stopped before its format was read
// reports only the stop.
TEST_F(CaptureQueueTest, ShortTailsAreDroppedAndAnUnreadStreamStillReportsItsStop) {
  for (auto [channels, bytes, answers] : {std::tuple(1, 2, 1), std::tuple(2, 4000, 0)}) {
    queue.Start(MakeStreamFormat(channels, 16, 8000));
    if (answers) { ASSERT_EQ(Read(), engine::kReadFormatChanged); }
    auto data = Ramp(bytes);
    queue.Push(data);
    queue.Stop();
    EXPECT_EQ(Read(), engine::kReadStopped) << bytes;
    EXPECT_EQ(Read(), engine::kReadNothingWaiting);
  }
}

// The producer sets the event after leaving the queue's lock, so a reader may empty the queue between the
// two. Whatever the interleaving, a reader that sleeps on the event must never sleep through a waiting
// block: each wait here would otherwise run into its long timeout.
TEST_F(CaptureQueueTest, AReaderRacingTheProducerIsNeverLeftAsleepWhileABlockWaits) {
  auto event = std::make_shared<platform::Event>(platform::Event::Mode::ManualReset);
  constexpr int kBlocks = 300;
  const auto format = MakeStreamFormat(2, 16, 48000);
  // Room for the whole stream: a reader descheduled on a busy machine must not lose bytes to overflow.
  CaptureQueue queue(size_t(kBlocks) * format.blockBytes);
  queue.SetEvent(event);
  queue.Start(format);
  std::thread producer([&] {
    const auto half = Ramp(format.blockBytes / 2);
    for (int i = 0; i < 2 * kBlocks; ++i) {
      queue.Push(half);
      if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::vector<uint8_t> out(engine::kMaxBlockBytes);
  int blocks = 0, timeouts = 0;
  while (blocks < kBlocks && timeouts == 0) {
    if (event->Wait(2000) == platform::kWaitTimeout) ++timeouts;
    for (uint32_t n; (n = queue.Read(out)) != engine::kReadNothingWaiting;)
      if (n > 2) ++blocks;
  }
  producer.join();
  EXPECT_EQ(queue.DroppedBytes(), 0u);
  EXPECT_EQ(timeouts, 0);
  EXPECT_EQ(blocks, kBlocks);
  // The producer's last Set may have come after the last read: one more pass finds nothing and resets.
  EXPECT_EQ(queue.Read(out), engine::kReadNothingWaiting);
  EXPECT_FALSE(event->IsSet()) << "an empty queue leaves the reader asleep";
}

// A reader on the producer's side reads everything as it comes, on the producer's thread: what waited
// before it was set, then each report and block once it is whole, and nothing once it is unset.
TEST_F(CaptureQueueTest, AReaderOnTheProducersThreadReadsWhatWaitsAtOnce) {
  auto event = std::make_shared<platform::Event>(platform::Event::Mode::ManualReset);
  queue.SetEvent(event);
  queue.Start(MakeStreamFormat(2, 16, 48000));
  std::vector<uint32_t> answers;
  const std::thread::id producer = std::this_thread::get_id();
  int foreignCalls = 0;
  auto reader = [&] {
    if (std::this_thread::get_id() != producer) ++foreignCalls;
    for (uint32_t n; (n = Read()) != engine::kReadNothingWaiting;) answers.push_back(n);
  };
  queue.SetReader(reader);
  EXPECT_EQ(answers, std::vector<uint32_t>{engine::kReadFormatChanged}) << "what waited is read when it is set";
  const auto data = Ramp(2900);
  queue.Push(std::span(data).first(1000));
  EXPECT_EQ(answers.size(), 1u) << "no block is whole yet";
  queue.Push(std::span(data).first(1900));
  queue.Stop();
  EXPECT_EQ(answers, (std::vector<uint32_t>{engine::kReadFormatChanged, 1920, 980, engine::kReadStopped}));
  EXPECT_FALSE(event->IsSet()) << "with a reader, the event wakes nobody";
  EXPECT_EQ(foreignCalls, 0);

  queue.SetReader(nullptr);
  queue.Start(MakeStreamFormat(2, 16, 48000));
  EXPECT_EQ(answers.size(), 4u);
  EXPECT_TRUE(event->IsSet()) << "without one, the event is set again";
}

// The event the engine made is the one the queue wakes it with. (The block and format requests carry
// all live sound, which every end-to-end test hears; the reads behind them are tested here.)
TEST_F(CaptureQueueTest, TheEngineRegistersItsEventThroughTheDriversRequest) {
  uint32_t bytes = 0, error = 0;
  EXPECT_FALSE(queue.Answer(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error)) << "no event made yet";
  auto event = platform::CreateNamedEvent(engine::kDriverEventName, platform::Event::Mode::ManualReset, false);
  EXPECT_TRUE(queue.Answer(engine::kRequestRegisterEvent, nullptr, 0, &bytes, &error));
  queue.Start(MakeStreamFormat(2, 16, 48000));
  EXPECT_TRUE(event->IsSet());
}

TEST_F(CaptureQueueTest, AFullStoreDropsTheNewestBytesAndCountsThem) {
  queue.Start(MakeStreamFormat(2, 16, 48000));
  ASSERT_EQ(Read(), engine::kReadFormatChanged);
  const auto data = Ramp(10000);
  queue.Push(data);
  queue.Push(data);
  EXPECT_EQ(queue.DroppedBytes(), 20000u - engine::kMaxBlockBytes);
  for (int i = 0; i < 6; ++i) ASSERT_EQ(Read(), 1920u);
  queue.Push(std::span(data).first(5000));  // wraps round the end of the store
  // Left were bytes 1520..6384 of the second copy, in order across the wrap; the third copy follows them.
  std::vector<uint8_t> all, expected(data.begin() + 1520, data.begin() + 6384);
  expected.insert(expected.end(), data.begin(), data.begin() + (9600 - 4864));
  for (uint32_t n; (n = Read()) > 2;) all.insert(all.end(), out.begin(), out.begin() + n);
  EXPECT_EQ(all, expected);
}

}  // namespace
