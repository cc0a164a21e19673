// The interrupt guard and the stop signals: while one lives an interrupt only
// sets its flag (and wakes a waiting companion at once), and the handler that
// was there before comes back afterwards.
#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

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

TEST(StopSignals, ASignalEndsTheWaitAtOnceAndIsRemembered) {
  using namespace std::chrono_literals;
  struct sigaction earlier {};
  earlier.sa_handler = [](int) { ++gEarlierHandlerCalls; };
  sigemptyset(&earlier.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(SIGTERM, &earlier, &saved), 0);
  gEarlierHandlerCalls = 0;
  {
    const StopSignals stop;
    EXPECT_EQ(stop.received(), 0);
    const auto quiet = std::chrono::steady_clock::now();
    EXPECT_FALSE(stop.wait(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - quiet, 50ms);

    ASSERT_EQ(::raise(SIGTERM), 0);  // before the wait: it must not be missed
    const auto woken = std::chrono::steady_clock::now();
    EXPECT_TRUE(stop.wait(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - woken, 1s);
    EXPECT_EQ(stop.received(), SIGTERM);
    EXPECT_STREQ(signalName(stop.received()), "SIGTERM");
    EXPECT_EQ(gEarlierHandlerCalls.load(), 0);
  }
  ASSERT_EQ(::raise(SIGTERM), 0);
  EXPECT_EQ(gEarlierHandlerCalls.load(), 1) << "the earlier handler is back";
  ::sigaction(SIGTERM, &saved, nullptr);
  const StopSignals again;
  EXPECT_EQ(again.received(), 0) << "a new one starts clear";
}

}  // namespace
}  // namespace glimmet::platform
