// Finding a data file shipped with the tool: the environment override first, then
// the install layouts beside the executable. The first candidate that exists wins,
// even when it later fails to load, so an override never silently falls through.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/environment.h"

namespace glimmet {

/// The override (taken as a path unchanged, when set and not empty), then the
/// platform's candidates for an executable at `executable`.
std::vector<std::filesystem::path> dataFileCandidates(const Environment& environment,
                                                      std::string_view overrideVariable,
                                                      const std::filesystem::path& executable,
                                                      std::string_view fileName);

/// The first candidate that exists, or nothing.
std::optional<std::filesystem::path> locateDataFile(const Environment& environment,
                                                    std::string_view overrideVariable,
                                                    const std::filesystem::path& executable,
                                                    std::string_view fileName);

}  // namespace glimmet
