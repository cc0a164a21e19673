// Linux: $SHELL, then getpwuid_r's pw_shell, then /bin/sh.
#include "platform/login_shell.h"

#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace glimmet::platform {
namespace {

// Only an absolute path: a relative $SHELL would depend on where glimmet runs.
bool isUsableShell(const std::string& path) {
  return !path.empty() && path.front() == '/' && isExecutableFile(path);
}

}  // namespace

std::filesystem::path loginShell(const Environment& env) {
  if (auto shell = env.get("SHELL"); shell && isUsableShell(*shell)) return *shell;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_shell != nullptr && isUsableShell(result->pw_shell))
    return result->pw_shell;
  return "/bin/sh";
}

}  // namespace glimmet::platform
