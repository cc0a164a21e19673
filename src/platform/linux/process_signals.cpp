// Signals through the /proc/PID folder the handle holds open: the kernel accepts
// that descriptor as a pidfd, and it stays bound to the process it was opened on,
// so a check of the process followed by its signal can never reach a newcomer
// that reused the pid in between.
#include <linux/magic.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/process_info.h"

namespace glimmet::platform {
namespace {

SignalDelivery deliveryOf(int result) {
  if (result == 0) return SignalDelivery::sent;
  switch (errno) {
    case ESRCH:
      return SignalDelivery::noSuchProcess;
    case EPERM:
      return SignalDelivery::notPermitted;
    default:
      return SignalDelivery::failed;
  }
}

// The fallbacks below signal by number. A handle opened over a folder of crafted
// files (a test's procfs) reads like a process but names none: its pid, which
// may well be a real process's, must never reach kill().
bool onProcFileSystem(int directory) {
  struct statfs info {};
  return ::fstatfs(directory, &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

}  // namespace

SignalDelivery ProcessHandle::signal(int number) const {
#ifdef SYS_pidfd_send_signal
  const long result = ::syscall(SYS_pidfd_send_signal, directory_.get(), number, nullptr, 0);
  if (result == 0 || errno != ENOSYS) return deliveryOf(static_cast<int>(result));
#endif
  // Kernels before 5.1 have no pidfd signals. The handle still tells whether its
  // process is alive: if it is, its pid can't have been reused, and the window
  // left between this read and kill() is as small as the platform allows.
  if (!onProcFileSystem(directory_.get())) return SignalDelivery::failed;
  if (!read()) return SignalDelivery::noSuchProcess;
  return deliveryOf(::kill(pid_, number));
}

SignalDelivery ProcessHandle::signalGroup(int number) const {
#ifdef SYS_pidfd_send_signal
  // Debian 12's headers predate the flag (Linux 6.9).
  constexpr unsigned kSignalProcessGroup = 1u << 2;
  const long result =
      ::syscall(SYS_pidfd_send_signal, directory_.get(), number, nullptr, kSignalProcessGroup);
  if (result == 0 || (errno != ENOSYS && errno != EINVAL)) {
    return deliveryOf(static_cast<int>(result));
  }
#endif
  // Older kernels: the group id is this pid, and it can't have been taken by
  // another group while the handle still reads.
  if (!onProcFileSystem(directory_.get())) return SignalDelivery::failed;
  if (!read()) return SignalDelivery::noSuchProcess;
  return signalProcessGroup(pid_, number);
}

SignalDelivery signalProcessGroup(pid_t pgid, int number) {
  if (pgid <= 0) return SignalDelivery::failed;  // killpg(0) would be our own group
  return deliveryOf(::killpg(pgid, number));
}

}  // namespace glimmet::platform
