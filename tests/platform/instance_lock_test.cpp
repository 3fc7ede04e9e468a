#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "platform/guardian_link.h"
#include "tests/support/files.h"

namespace {

using platform::GuardianLink;
using platform::InstanceLock;
using Result = InstanceLock::Result;

class InstanceLockTest : public ::testing::Test {
 protected:
  testing_support::ScratchDir scratch;
  const std::string folder_ = scratch.path, path_ = folder_ + "/tonvex.lock";
};

// A holder that died while its guardian still restores the desktop: the newcomer waits for the guardian
// (here: the first lock, released a little later), but not forever.
TEST_F(InstanceLockTest, ALockKeptByADeadHoldersHelperIsWaitedForBriefly) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  InstanceLock first(path_);
  ASSERT_EQ(first.Acquire(), Result::kAcquired);
  std::ofstream(path_) << gone << "\n";

  InstanceLock impatient(path_);
  EXPECT_EQ(impatient.Acquire(100), Result::kHeldByOther);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    first.Release();
  });
  InstanceLock patient(path_);
  EXPECT_EQ(patient.Acquire(3000), Result::kAcquired);
  release.join();
}

// The guardian must see our end close, keep the lock until it is done, and be out of reach of the
// terminal's signals: its own session, nothing blocked (the program blocks its stop signals). All of that
// holds when it is started through a launcher that execs it (env here, systemd-run on a desktop).
TEST_F(InstanceLockTest, TheGuardianHoldsTheLockUntilItEndsAndRunsInItsOwnSessionUnblocked) {
  const std::string script = folder_ + "/guardian.sh", seen = folder_ + "/seen";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "cat > " << seen << ".tmp\n"
                        << "awk '{print $6}' /proc/$$/stat >> " << seen
                        << ".tmp\n"
                        // awk's own mask, inherited from the guardian: the shell's own blocks every signal
                        // for a moment while it forks.
                        << "awk '/^SigBlk/ {print $2}' /proc/self/status >> " << seen << ".tmp\n"
                        << "sleep 0.3; mv " << seen << ".tmp " << seen << "\n";
  chmod(script.c_str(), 0700);
  sigset_t stop, old;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, &old);

  InstanceLock lock(path_);
  ASSERT_EQ(lock.Acquire(), Result::kAcquired);
  GuardianLink guardian;
  ASSERT_TRUE(guardian.Start(script, lock.Descriptor(), "", {"env", "--"})) << guardian.ErrorText();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  EXPECT_TRUE(guardian.Send("previous speakers"));
  lock.Release();
  EXPECT_EQ(InstanceLock(path_).Acquire(0), Result::kHeldByOther);
  EXPECT_TRUE(guardian.Finish(5000));
  std::istringstream lines(testing_support::ReadText(seen));
  std::string line, blocked;
  pid_t session = 0;
  std::getline(lines, line);
  EXPECT_EQ(line, "previous speakers");
  lines >> session >> blocked;
  EXPECT_NE(session, getsid(0));
  EXPECT_EQ(blocked, "0000000000000000");
  EXPECT_EQ(InstanceLock(path_).Acquire(0), Result::kAcquired);
  EXPECT_FALSE(GuardianLink().Start(folder_ + "/missing"));
  EXPECT_FALSE(GuardianLink().Start(script, -1, "", {"no-such-launcher"}));
}

// A guardian killed while the program runs is seen as gone at once (and reaped), and a new one starts in its
// place under the name it is given, which is what `pkill` matches instead of the file's.
TEST_F(InstanceLockTest, AKilledGuardianIsSeenGoneAndReplacedUnderItsName) {
  // A shell as the guardian: it runs the lines sent to it, and $0 is the argv[0] it was started with.
  const std::string seen = folder_ + "/argv0";
  GuardianLink guardian;
  EXPECT_FALSE(guardian.Alive());
  ASSERT_TRUE(guardian.Start("/bin/sh", -1, "brevalto-guard")) << guardian.ErrorText();
  EXPECT_TRUE(guardian.Alive());
  ASSERT_TRUE(guardian.Send("echo \"$0\" > " + seen + ".tmp && mv " + seen + ".tmp " + seen));
  for (int waited = 0; waited < 5000 && testing_support::ReadText(seen).empty(); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(testing_support::ReadText(seen), "brevalto-guard\n");
  const pid_t pid = guardian.Pid();
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);
  for (int waited = 0; waited < 5000 && guardian.Alive(); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(guardian.Alive());
  EXPECT_FALSE(guardian.ExitedByItself()) << "killed";
  EXPECT_FALSE(guardian.Send("output speakers"));
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);  // reaped already: no zombie left behind
  ASSERT_TRUE(guardian.Start("/bin/sh", -1, "brevalto-guard"));
  EXPECT_NE(guardian.Pid(), pid);
  EXPECT_TRUE(guardian.Alive());
  EXPECT_TRUE(guardian.Finish(5000));  // our end closed: the shell reads the end of its input and exits 0

  // A launcher that refuses to start it (false exits at once) is told from a kill.
  ASSERT_TRUE(guardian.Start("/bin/sh", -1, "", {"false"}));
  for (int waited = 0; waited < 5000 && guardian.Alive(); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(guardian.ExitedByItself());
}

}  // namespace
