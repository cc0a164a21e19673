// The ls view: one line per dev server with its ports, pid, name, project and
// branch; the document lists each server with its command, secrets masked.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "core/ports/dev_server.h"

namespace glimmet {

struct LsDocument {
  std::vector<DevServer> servers;
  std::chrono::system_clock::time_point now;  ///< uptimes are counted to it

  /// {"schema": 1, "servers": [...]}
  nlohmann::json toJson() const;
  /// One text line per server, in list order; a sentence when there is none.
  std::vector<std::string> lines() const;
  /// A script always gets the document; a person told there is none gets status 1.
  ExitStatus status(OutputFormat format) const {
    return format == OutputFormat::text && servers.empty() ? ExitStatus::nothingFound
                                                           : ExitStatus::ok;
  }
};

inline constexpr const char* kNoDevServers = "No dev servers.";

}  // namespace glimmet
