// The ls document and lines.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/ports/dev_server.h"

namespace glimmet::CLIOutput {

/// One server of CLIOutput.Ls, as its JSON object.
nlohmann::json server(const DevServer& server, std::chrono::system_clock::time_point now);
/// {"schema": 1, "servers": [...]}
nlohmann::json ls(const std::vector<DevServer>& servers, std::chrono::system_clock::time_point now);
/// One text line per server, in list order.
std::vector<std::string> lsLines(const std::vector<DevServer>& servers);

inline constexpr const char* kNoDevServers = "No dev servers.";

}  // namespace glimmet::CLIOutput
