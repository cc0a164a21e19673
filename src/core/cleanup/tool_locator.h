// Finding the programs that clean commands name. Planning asks through this
// seam so that tests can answer with fixed paths and the command can search
// the user's PATH.
#pragma once

#include <optional>
#include <string>

namespace glimmet {

class ToolLocator {
 public:
  virtual ~ToolLocator() = default;
  /// The absolute path of the executable `name`, or nothing when it isn't there.
  virtual std::optional<std::string> locate(const std::string& name) const = 0;
};

/// Looks programs up along a colon-separated search path, as a shell would.
/// A name with a slash is taken as a path and only checked. Relative entries
/// of the search path are ignored: a clean command never runs something found
/// relative to wherever the tool happened to start.
class SearchPathLocator : public ToolLocator {
 public:
  explicit SearchPathLocator(std::string searchPath) : searchPath_(std::move(searchPath)) {}
  std::optional<std::string> locate(const std::string& name) const override;

 private:
  std::string searchPath_;
};

}  // namespace glimmet
