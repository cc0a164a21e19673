// Linux: $SHELL, then getpwuid_r's pw_shell, then /bin/sh.
#include "platform/login_shell.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace glimmet::platform {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && path.front() == '/' && ::stat(path.c_str(), &info) == 0 &&
         S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::filesystem::path loginShell(const Environment& env) {
  if (auto shell = env.get("SHELL"); shell && isExecutableFile(*shell)) return *shell;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_shell != nullptr && isExecutableFile(result->pw_shell))
    return result->pw_shell;
  return "/bin/sh";
}

}  // namespace glimmet::platform
