// Whether a pid still names a running process: gone and zombie alike are not.
#pragma once

#include <unistd.h>

#include "core/process/system_process_inspector.h"

namespace glimmet::testing {

inline bool alive(pid_t pid) {
  const auto state = SystemProcessInspector(::geteuid()).state(pid);
  return state && state->status != ProcessStatus::zombie;
}

}  // namespace glimmet::testing
