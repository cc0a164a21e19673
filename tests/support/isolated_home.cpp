#include "support/isolated_home.h"

#include <cstdlib>

namespace glimmet::testing {

IsolatedHome::IsolatedHome() {
  const auto home = root_ / "home";
  std::filesystem::create_directories(home);
  std::map<std::string, std::string, std::less<>> variables = {
      {"HOME", home.string()},
      {"XDG_DATA_HOME", (home / ".local/share").string()},
      {"XDG_CONFIG_HOME", (home / ".config").string()},
      {"XDG_CACHE_HOME", (home / ".cache").string()},
      {"XDG_STATE_HOME", (home / ".local/state").string()},
      {"XDG_RUNTIME_DIR", (root_ / "run").string()},
      {"SHELL", "/bin/sh"},
      {"PATH", "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"},
      {"LANG", "C.UTF-8"},
      {"GLIMMET_SIGNATURES", std::string(GLIMMET_BUILD_DATA_DIR) + "/signatures.json"},
      {"GLIMMET_LEFTOVERS", std::string(GLIMMET_BUILD_DATA_DIR) + "/leftovers.json"},
  };
  // Sanitizer settings pass through so that a report fails the test loudly.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* value = std::getenv(name)) variables[name] = value;
  environment_ = Environment(std::move(variables));
}

RunResult IsolatedHome::glimmet(const std::vector<std::string>& arguments,
                                const RunOptions& options) const {
  std::vector<std::string> argv = {GLIMMET_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv, environment_, options);
}

}  // namespace glimmet::testing
