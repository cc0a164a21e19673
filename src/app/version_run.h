// glimmet version: the tool's version on one line.
#pragma once

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

ExitStatus runVersion(RunContext& context);

}  // namespace glimmet
