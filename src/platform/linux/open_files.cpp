// /proc/<pid>/fd: each descriptor is a link whose target names the open file.
#include "platform/open_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <memory>

namespace glimmet::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const {
    if (dir) ::closedir(dir);
  }
};

}  // namespace

std::vector<std::string> openFilePaths(pid_t pid) {
  std::vector<std::string> paths;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return paths;
  const int dirFd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    std::array<char, 4096> target{};
    const auto length = ::readlinkat(dirFd, entry->d_name, target.data(), target.size() - 1);
    if (length <= 0) continue;
    std::string path(target.data(), static_cast<size_t>(length));
    // "socket:[123]", "pipe:[4]", "anon_inode:..." are not files; a deleted file
    // no longer lies in any folder.
    if (path.front() != '/' || path.ends_with(" (deleted)")) continue;
    paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace glimmet::platform
