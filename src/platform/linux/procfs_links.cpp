#include "platform/linux/procfs_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace glimmet::platform::procfs {

std::optional<std::string> readLinkAt(int directory, const char* name) {
  std::string target(256, '\0');
  while (true) {
    const ssize_t got = ::readlinkat(directory, name, target.data(), target.size());
    if (got < 0) return std::nullopt;
    if (static_cast<std::size_t>(got) < target.size()) {
      target.resize(static_cast<std::size_t>(got));
      return target;
    }
    if (target.size() >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return std::nullopt;
    }
    target.resize(target.size() * 2);
  }
}

bool linkTargetDeleted(int directory, const char* name, std::string_view target) {
  if (!target.ends_with(" (deleted)")) return false;
  // Following the link reaches the open file itself, not whatever now has its name.
  struct stat info {};
  return ::fstatat(directory, name, &info, 0) != 0 || info.st_nlink == 0;
}

}  // namespace glimmet::platform::procfs
