// The physical walk over openat/fdopendir/readdir and fstatat(AT_SYMLINK_NOFOLLOW).
#include "platform/tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/linux/file_status.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const {
    if (dir) ::closedir(dir);
  }
};

class Walker {
 public:
  Walker(const std::function<WalkAnswer(const WalkEntry&)>& visitor, dev_t device, int maxDepth)
      : visitor_(visitor), device_(device), maxDepth_(maxDepth) {}

  // Walks the open directory `fd` (taking ownership) whose path is `path`.
  // Returns false when the walk must stop.
  bool walk(int fd, const std::string& path, std::string_view firstComponent, int depth) {
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
      ::close(fd);
      return true;
    }
    const int dirFd = ::dirfd(dir.get());
    while (true) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (!entry) {
        if (isPermissionError(errno)) outcome.noAccess = true;
        return true;
      }
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      struct stat info {};
      if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (isPermissionError(errno)) outcome.noAccess = true;
        continue;  // vanished (ENOENT) or unreadable: not counted
      }
      const FileStatus status = statusOf(info);
      const std::string_view first = depth == 1 ? name : firstComponent;
      const WalkEntry walkEntry{path, name, first, status, depth};
      const WalkAnswer answer = visitor_(walkEntry);
      if (answer == WalkAnswer::stop) {
        outcome.stopped = true;
        return false;
      }
      if (answer == WalkAnswer::skip || status.kind != FileStatus::Kind::directory) continue;
      if (status.device != device_ || depth >= maxDepth_) continue;
      const int child =
          ::openat(dirFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        if (isPermissionError(errno)) outcome.noAccess = true;
        continue;
      }
      // The first component must outlive `entry`, which the next readdir reuses.
      const std::string childFirst(first);
      if (!walk(child, joined(path, name), childFirst, depth + 1)) return false;
    }
  }

  WalkOutcome outcome;

 private:
  static std::string joined(const std::string& parent, std::string_view name) {
    std::string path = parent;
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(name);
    return path;
  }

  const std::function<WalkAnswer(const WalkEntry&)>& visitor_;
  dev_t device_;
  int maxDepth_;
};

}  // namespace

std::string WalkEntry::path() const {
  std::string full(parent);
  if (full.empty() || full.back() != '/') full.push_back('/');
  full.append(name);
  return full;
}

WalkOutcome walkTree(const std::filesystem::path& root,
                     const std::function<WalkAnswer(const WalkEntry&)>& visitor, int maxDepth) {
  WalkOutcome outcome;
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    outcome.noAccess = isPermissionError(errno);
    return outcome;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return outcome;
  }
  Walker walker(visitor, info.st_dev, maxDepth);
  walker.walk(fd, root.string(), {}, 1);
  return walker.outcome;
}

}  // namespace glimmet::platform
