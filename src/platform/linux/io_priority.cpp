// ioprio_get/ioprio_set with who 0: the calling thread only, like a thread-scoped
// I/O policy. Unprivileged threads may always choose the idle class.
#include "platform/io_priority.h"

#include <linux/ioprio.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace glimmet::platform {
namespace {

long ioprioGet() {
  return ::syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, 0);
}
long ioprioSet(int value) {
  return ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, 0, value);
}

}  // namespace

IoPriorityGuard::IoPriorityGuard() {
  const long current = ioprioGet();
  if (current >= 0) previous_ = static_cast<int>(current);
  throttled_ = ioprioSet(IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0)) == 0;
}

IoPriorityGuard::~IoPriorityGuard() {
  if (throttled_ && previous_) ioprioSet(*previous_);
}

}  // namespace glimmet::platform
