// What tools said about where their caches are, kept in the scan cache for a
// day. Asking costs a login shell and the tool's own start (npm alone takes
// half a second), far more than the walk of most homes, and the answer
// changes only when the tool is set up anew: a remembered answer stands while
// the variables that place the cache are as they were and its folder is
// still there; otherwise the tool is asked again.
#pragma once

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/disk/disk_vocabulary.h"
#include "core/output/iso8601.h"
#include "platform/environment.h"

namespace glimmet {

class ToolFolderMemory {
 public:
  static constexpr std::chrono::hours kKeptFor{24};

  struct Answer {
    std::string folder;
    SystemTime askedAt;
    std::map<std::string, std::string> variables;  ///< the query's variables as they were set
  };

  /// The answers still good now, in this environment.
  std::map<PathLookup, std::string> current(SystemTime now, const Environment& environment) const;
  /// Keeps what the tools said at `now`; answers older than a day go.
  void remember(const std::map<PathLookup, std::string>& answers, SystemTime now,
                const Environment& environment);

  nlohmann::json toJson() const;
  /// Nothing from a value that isn't what toJson writes.
  static std::optional<ToolFolderMemory> fromJson(const nlohmann::json& json);

 private:
  std::map<PathLookup, Answer> answers_;
};

}  // namespace glimmet
