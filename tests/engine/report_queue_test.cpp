#include "engine/report_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> TakeAll(engine::ReportQueue& queue) {
  std::vector<std::string> shown;
  std::string text;
  while (queue.TakeNext(&text)) {
    shown.push_back(text);
    queue.Closed();
  }
  return shown;
}

// A repeated error must bring up one box, not one per block; distinct errors keep their order.
TEST(ReportQueue, RepeatsAreMergedDistinctTextsKeepTheirOrderAFullQueueDropsAndLongTextsAreCut) {
  engine::ReportQueue queue;
  int wakeUps = 0;
  queue.SetWakeUp([&] { ++wakeUps; });
  queue.ShowError("a");
  queue.ShowError("a");
  queue.ShowError("b");
  std::string text;
  ASSERT_TRUE(queue.TakeNext(&text));
  EXPECT_EQ(text, "a");
  queue.ShowError("a");                 // while its box is open
  EXPECT_FALSE(queue.TakeNext(&text));  // one box at a time
  queue.Closed();
  queue.ShowError("c");
  EXPECT_EQ(TakeAll(queue), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(queue.Merged(), 2u);
  EXPECT_EQ(wakeUps, 3);
  queue.ShowError("a");  // the box was closed: a new occurrence shows again
  EXPECT_EQ(TakeAll(queue), (std::vector<std::string>{"a"}));
  // A full queue drops new texts, and long texts are cut.
  for (size_t i = 0; i < engine::ReportQueue::kSlots + 2; ++i) queue.ShowError(std::to_string(i));
  EXPECT_EQ(queue.Dropped(), 2u);
  EXPECT_EQ(TakeAll(queue).size(), engine::ReportQueue::kSlots);
  queue.ShowError(std::string(2000, 'x'));
  queue.ShowError(std::string(3000, 'x'));  // the same once cut
  const std::vector<std::string> shown = TakeAll(queue);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].size(), engine::ReportQueue::kTextBytes);
}

// Reporting threads never wait for the reader, and nothing is lost or counted twice.
TEST(ReportQueue, ConcurrentReportersAndReaderAccountForEveryReport) {
  engine::ReportQueue queue;
  constexpr int kThreads = 3, kReports = 2000;
  std::atomic<int> done{0};
  std::vector<std::thread> reporters;
  for (int t = 0; t < kThreads; ++t)
    reporters.emplace_back([&, t] {
      for (int i = 0; i < kReports; ++i) queue.ShowError("error " + std::to_string((t + i) % 4));
      ++done;
    });
  size_t shown = 0;
  while (done < kThreads) shown += TakeAll(queue).size();
  for (std::thread& reporter : reporters) reporter.join();
  shown += TakeAll(queue).size();
  EXPECT_EQ(shown + queue.Merged() + queue.Dropped(), static_cast<size_t>(kThreads * kReports));
  EXPECT_EQ(queue.Dropped(), 0u);  // four distinct texts never fill eight slots
}

}  // namespace
