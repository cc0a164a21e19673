// Applications the user is running, as ids or bundle paths that can be matched
// against the folders they keep.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace glimmet::platform {

/// Nothing when they can't be listed (the guard then refuses to guess).
std::optional<std::vector<std::string>> runningApplications(uid_t uid);

}  // namespace glimmet::platform
