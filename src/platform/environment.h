// An immutable copy of the process environment, taken once in main and passed down,
// so that nothing below the entry point reads global state.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet {

class Environment {
 public:
  Environment() = default;
  explicit Environment(std::map<std::string, std::string, std::less<>> variables)
      : variables_(std::move(variables)) {}

  /// Copies a NUL-terminated `NAME=value` array such as main's envp.
  static Environment fromArray(const char* const* entries);

  std::optional<std::string> get(std::string_view name) const;
  /// The value when it is set and is an absolute path (the XDG rule for *_HOME variables).
  std::optional<std::string> absolutePath(std::string_view name) const;

  Environment with(std::string name, std::string value) const;
  Environment without(std::string_view name) const;
  const std::map<std::string, std::string, std::less<>>& variables() const { return variables_; }

 private:
  std::map<std::string, std::string, std::less<>> variables_;
};

}  // namespace glimmet
