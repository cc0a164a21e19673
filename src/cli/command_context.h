// A command body runs with the use cases' context: the cli adds nothing to it.
#pragma once

#include "app/run_context.h"

namespace glimmet::cli {

using CommandContext = RunContext;

}  // namespace glimmet::cli
