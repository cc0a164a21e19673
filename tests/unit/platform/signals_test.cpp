// The interrupt guard: while it lives an interrupt only sets its flag, and the
// handler that was there before comes back afterwards.
#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace glimmet::platform {
namespace {

std::atomic<int> gEarlierHandlerCalls{0};

TEST(InterruptGuard, AnInterruptOnlySetsTheFlagUntilTheGuardEnds) {
  struct sigaction earlier {};
  earlier.sa_handler = [](int) { ++gEarlierHandlerCalls; };
  sigemptyset(&earlier.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(SIGINT, &earlier, &saved), 0);
  {
    const InterruptGuard guard;
    EXPECT_FALSE(guard.flag().load());
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);  // the process lives on: the guard took it
    EXPECT_TRUE(guard.flag().load());
    EXPECT_EQ(gEarlierHandlerCalls.load(), 0);
  }
  ASSERT_EQ(::raise(SIGINT), 0);
  EXPECT_EQ(gEarlierHandlerCalls.load(), 1);
  {
    const InterruptGuard again;  // a new guard starts clear
    EXPECT_FALSE(again.flag().load());
  }
  ::sigaction(SIGINT, &saved, nullptr);
}

}  // namespace
}  // namespace glimmet::platform
