#include <gtest/gtest.h>
#include <pulse/mainloop.h>
#include <pulse/timeval.h>
#include <unistd.h>

#include "platform/pulse_held_io.h"

namespace {

// A real loop, run a step at a time without waiting, and a pipe the "server" writes into.
class HeldIo : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(pipe(fds_), 0);
    api_ = held_.Api();
  }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
    pa_mainloop_free(loop_);
  }
  void Send() { ASSERT_EQ(write(fds_[1], "x", 1), 1); }
  void Step() { pa_mainloop_iterate(loop_, 0, nullptr); }

  static void OnReadable(pa_mainloop_api* api, pa_io_event* event, int fd, pa_io_event_flags_t, void* self) {
    auto* test = static_cast<HeldIo*>(self);
    // libpulse checks that its callbacks are handed the API and the event it made them with.
    EXPECT_EQ(api, test->api_);
    EXPECT_EQ(event, test->io_);
    char byte;
    if (read(fd, &byte, 1) == 1) ++test->reads_;
  }

  pa_mainloop* loop_ = pa_mainloop_new();
  platform::HeldIoApi held_{pa_mainloop_get_api(loop_)};
  pa_mainloop_api* api_ = nullptr;
  pa_io_event* io_ = nullptr;
  int fds_[2] = {-1, -1};
  int reads_ = 0;
};

TEST_F(HeldIo, HeldInputWaitsForServiceOrTheEndOfTheHold) {
  io_ = api_->io_new(api_, fds_[0], PA_IO_EVENT_INPUT, &HeldIo::OnReadable, this);
  ASSERT_NE(io_, nullptr);
  Send();
  Step();
  EXPECT_EQ(reads_, 1) << "not held: the loop reads as it comes";

  held_.Hold(true);
  Send();
  Step();
  Step();
  EXPECT_EQ(reads_, 1) << "held: nothing wakes the loop";
  EXPECT_EQ(held_.Service(), 1);
  EXPECT_EQ(reads_, 2);
  EXPECT_EQ(held_.Service(), 0) << "nothing more to read";

  // A watch disabled by its owner is left alone by Service too; enabled again while held, it still waits.
  api_->io_enable(io_, PA_IO_EVENT_NULL);
  Send();
  EXPECT_EQ(held_.Service(), 0);
  api_->io_enable(io_, PA_IO_EVENT_INPUT);
  Step();
  EXPECT_EQ(reads_, 2);

  held_.Hold(false);
  Step();
  EXPECT_EQ(reads_, 3) << "the end of the hold lets the loop read what waited";
  api_->io_free(io_);
  Send();
  Step();
  EXPECT_EQ(held_.Service(), 0);
  EXPECT_EQ(reads_, 3) << "a freed watch reads nothing";
}

// Timers and deferred work run on the real loop, handed this API, and each destroy callback runs once.
TEST_F(HeldIo, TimersAndDeferredWorkRunOnTheRealLoopUnderThisApi) {
  static HeldIo* test;  // the callbacks below are plain functions
  test = this;
  held_.Hold(true);
  timeval now;
  pa_time_event* timer = api_->time_new(
      api_, pa_gettimeofday(&now),
      [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void*) {
        test->reads_ += api == test->api_ ? 1 : 100;
        api->time_restart(event, nullptr);
      },
      nullptr);
  pa_defer_event* deferred = api_->defer_new(
      api_,
      [](pa_mainloop_api* api, pa_defer_event* event, void*) {
        test->reads_ += api == test->api_ ? 10 : 100;
        api->defer_enable(event, 0);
      },
      nullptr);
  api_->time_set_destroy(timer, [](pa_mainloop_api*, pa_time_event*, void*) { test->reads_ += 1000; });
  api_->defer_set_destroy(deferred, [](pa_mainloop_api*, pa_defer_event*, void*) { test->reads_ += 1000; });
  Step();
  Step();
  EXPECT_EQ(reads_, 11) << "each ran once, under this API";
  api_->time_free(timer);
  api_->defer_free(deferred);
  Step();
  EXPECT_EQ(reads_, 2011);
}

}  // namespace
