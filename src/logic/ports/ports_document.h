// The ports view: one line per listening port of every dev server, the user's
// and everyone else's.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/document.h"
#include "core/ports/dev_server.h"

namespace glimmet {

struct PortListener {
  std::uint16_t port = 0;
  pid_t pid = 0;
  std::string name;  ///< the framework, or the process name
  std::optional<std::string> project;
  bool ownedByCurrentUser = false;
  std::optional<std::string> protectedReason;
};

struct PortsDocument {
  std::vector<PortListener> listeners;  ///< by port, then pid

  static PortsDocument from(const std::vector<DevServer>& servers);
  nlohmann::json toJson() const;
  /// One line per listener; a sentence when there is none.
  std::vector<std::string> lines() const;
  /// No listener is status 1 in either form.
  ExitStatus status(OutputFormat) const {
    return listeners.empty() ? ExitStatus::nothingFound : ExitStatus::ok;
  }
};

inline constexpr const char* kNoListeningPorts = "No listening ports.";

}  // namespace glimmet
