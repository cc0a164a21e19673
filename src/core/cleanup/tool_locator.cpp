#include "core/cleanup/tool_locator.h"

#include <sys/stat.h>
#include <unistd.h>

namespace glimmet {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> SearchPathLocator::locate(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (name.front() == '/' && isExecutableFile(name)) return name;
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= searchPath_.size()) {
    auto end = searchPath_.find(':', start);
    if (end == std::string::npos) end = searchPath_.size();
    auto folder = searchPath_.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder.front() != '/') continue;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    auto candidate = (folder == "/" ? "" : folder) + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace glimmet
