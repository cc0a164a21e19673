// The ghosts document and lines.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/ghosts/ghost.h"

namespace glimmet::CLIOutput {

/// One CLIOutput.GhostItem.
nlohmann::json ghostItem(const Ghost& ghost, std::chrono::system_clock::time_point now);
/// {"schema": 1, "ghosts": [...]}
nlohmann::json ghosts(const std::vector<Ghost>& ghosts, std::chrono::system_clock::time_point now);
std::vector<std::string> ghostLines(const std::vector<Ghost>& ghosts);

inline constexpr const char* kNoGhosts = "No ghosts. Nice and tidy.";

}  // namespace glimmet::CLIOutput
