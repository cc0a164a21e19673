// The guard moves only the calling thread to the idle I/O class and puts it back.
#include "platform/io_priority.h"

#include <gtest/gtest.h>
#include <linux/ioprio.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace glimmet::platform {
namespace {

long currentPriority() {
  return ::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, 0);
}

TEST(IoPriorityGuard, ThrottlesThisThreadAndRestoresIt) {
  const long before = currentPriority();
  ASSERT_GE(before, 0);
  {
    const IoPriorityGuard guard;
    if (!guard.throttled()) GTEST_SKIP() << "ioprio_set is not allowed here";
    EXPECT_EQ(IOPRIO_PRIO_CLASS(currentPriority()), IOPRIO_CLASS_IDLE);
  }
  EXPECT_EQ(currentPriority(), before);
}

}  // namespace
}  // namespace glimmet::platform
