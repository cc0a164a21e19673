// glimmet protect and glimmet unprotect: add or remove one of the user's
// command-line glob rules in protected.json.
#pragma once

#include <string>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct ProtectRequest {
  std::string pattern;
};

/// A pattern already there is said and left as it is; either way status 0.
ExitStatus runProtect(const ProtectRequest& request, RunContext& context);
/// Only the exact pattern is removed; none is status 1.
ExitStatus runUnprotect(const ProtectRequest& request, RunContext& context);

}  // namespace glimmet
