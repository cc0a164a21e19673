#include "platform/own_process.h"

#include <unistd.h>

namespace glimmet::platform {

uid_t effectiveUID() {
  return ::geteuid();
}
pid_t ownPID() {
  return ::getpid();
}
pid_t ownProcessGroup() {
  return ::getpgrp();
}
pid_t parentPID() {
  return ::getppid();
}

}  // namespace glimmet::platform
