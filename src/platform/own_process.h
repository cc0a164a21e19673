// Facts about this process itself, read once by the use case and passed down.
#pragma once

#include <sys/types.h>

namespace glimmet::platform {

/// The user whose processes this run may act on.
uid_t effectiveUID();
pid_t ownPID();
/// The group a signal to our own group would reach, which must never be a target.
pid_t ownProcessGroup();
/// The process that started this one: the agent, for a hook.
pid_t parentPID();

}  // namespace glimmet::platform
