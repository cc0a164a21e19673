// What disk clean says on a terminal while it works: a line as each step
// starts and one as it ends, numbered against the whole plan.
#pragma once

#include <cstddef>
#include <string>

#include "core/cleanup/cleanup_plan.h"
#include "core/cleanup/cleanup_runner.h"

namespace glimmet {

/// "[1/3] Moving ~/.cache/x to the Trash..." (`home` is written as ~).
std::string stepStartLine(const CleanupStep& step, std::size_t number, std::size_t count,
                          const std::string& home);
/// "[1/3] Finished in 0.4 s.", "[2/3] Failed after 1.2 s.", "[3/3] Skipped."
std::string stepEndLine(const StepOutcome& outcome, std::size_t number, std::size_t count,
                        double seconds);

}  // namespace glimmet
