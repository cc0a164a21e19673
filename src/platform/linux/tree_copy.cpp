// The copy and the comparison walk both trees side by side through openat,
// fstatat, readlinkat and fdopendir, each folder held by a descriptor: a
// folder swapped for a link meanwhile is refused (O_NOFOLLOW), never entered.
#include "platform/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <vector>

namespace glimmet::platform {
namespace {

// Chat trees are shallow; a limit keeps a pathological tree from running out
// of descriptors (one is open per level).
constexpr int kMaxDepth = 128;
constexpr std::size_t kChunk = 1 << 20;

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The names in a folder, by name, with what lstat says of each.
std::map<std::string, struct stat> entries(int directory, const std::string& path) {
  const int copy = ::dup(directory);
  if (copy < 0) throw TreeCopyFailure{path, errno};
  DIR* listing = ::fdopendir(copy);
  if (!listing) {
    const int error = errno;
    ::close(copy);
    throw TreeCopyFailure{path, error};
  }
  ::rewinddir(listing);
  std::map<std::string, struct stat> found;
  errno = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      ::closedir(listing);
      throw TreeCopyFailure{path + "/" + name, error};
    }
    found.emplace(name, info);
  }
  const int error = errno;
  ::closedir(listing);
  if (error != 0) throw TreeCopyFailure{path, error};
  return found;
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const auto written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw TreeCopyFailure{path, errno};
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Reads up to `size` bytes, fewer only at the end of the file.
std::size_t readFull(int fd, char* data, std::size_t size, const std::string& path) {
  std::size_t got = 0;
  while (got < size) {
    const auto count = ::read(fd, data + got, size - got);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw TreeCopyFailure{path, errno};
    }
    if (count == 0) break;
    got += static_cast<std::size_t>(count);
  }
  return got;
}

void keepModeAndTimes(int fd, const struct stat& info, const std::string& path) {
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (::fchmod(fd, info.st_mode & 07777) != 0 || ::futimens(fd, times) != 0)
    throw TreeCopyFailure{path, errno};
}

void copyFile(int fromDir, int toDir, const std::string& name, const struct stat& info,
              const std::string& path) {
  UniqueFd from(::openat(fromDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!from) throw TreeCopyFailure{path, errno};
  UniqueFd to(
      ::openat(toDir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!to) throw TreeCopyFailure{path, errno};
  std::vector<char> buffer(kChunk);
  for (;;) {
    const auto got = readFull(from.get(), buffer.data(), buffer.size(), path);
    if (got == 0) break;
    writeAll(to.get(), buffer.data(), got, path);
  }
  keepModeAndTimes(to.get(), info, path);
}

void copyLink(int fromDir, int toDir, const std::string& name, const struct stat& info,
              const std::string& path) {
  std::vector<char> target(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 2);
  const auto length = ::readlinkat(fromDir, name.c_str(), target.data(), target.size());
  if (length < 0) throw TreeCopyFailure{path, errno};
  if (static_cast<std::size_t>(length) >= target.size() - 1)
    throw TreeCopyFailure{path, ENAMETOOLONG};
  target[static_cast<std::size_t>(length)] = '\0';
  if (::symlinkat(target.data(), toDir, name.c_str()) != 0) throw TreeCopyFailure{path, errno};
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ::utimensat(toDir, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void copyFolder(int from, int to, const std::string& path, int depth);

void copyEntry(int fromDir, int toDir, const std::string& name, const struct stat& info,
               const std::string& path, int depth) {
  if (S_ISREG(info.st_mode)) return copyFile(fromDir, toDir, name, info, path);
  if (S_ISLNK(info.st_mode)) return copyLink(fromDir, toDir, name, info, path);
  if (!S_ISDIR(info.st_mode)) throw TreeCopyFailure{path, ENOTSUP};  // sockets, pipes, devices
  if (depth > kMaxDepth) throw TreeCopyFailure{path, ELOOP};
  UniqueFd from(::openat(fromDir, name.c_str(), kDirectoryFlags));
  if (!from) throw TreeCopyFailure{path, errno};
  if (::mkdirat(toDir, name.c_str(), 0700) != 0) throw TreeCopyFailure{path, errno};
  UniqueFd to(::openat(toDir, name.c_str(), kDirectoryFlags));
  if (!to) throw TreeCopyFailure{path, errno};
  copyFolder(from.get(), to.get(), path, depth + 1);
  keepModeAndTimes(to.get(), info, path);  // after its entries, which change its times
}

void copyFolder(int from, int to, const std::string& path, int depth) {
  for (const auto& [name, info] : entries(from, path))
    copyEntry(from, to, name, info, path + "/" + name, depth);
}

bool sameContents(int fromDir, int toDir, const std::string& name, const std::string& path) {
  UniqueFd a(::openat(fromDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  UniqueFd b(::openat(toDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!a || !b) return false;
  std::vector<char> left(kChunk), right(kChunk);
  for (;;) {
    const auto gotLeft = readFull(a.get(), left.data(), left.size(), path);
    const auto gotRight = readFull(b.get(), right.data(), right.size(), path);
    if (gotLeft != gotRight || std::memcmp(left.data(), right.data(), gotLeft) != 0) return false;
    if (gotLeft == 0) return true;
  }
}

std::string linkTargetAt(int dir, const std::string& name) {
  std::vector<char> target(PATH_MAX + 1);
  const auto length = ::readlinkat(dir, name.c_str(), target.data(), target.size());
  return length < 0 ? std::string("\0", 1)
                    : std::string(target.data(), static_cast<std::size_t>(length));
}

bool sameFolders(int from, int to, const std::string& path, int depth);

bool sameEntry(int fromDir, int toDir, const std::string& name, const struct stat& original,
               const struct stat& copy, const std::string& path, int depth) {
  if ((original.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) return false;
  if (S_ISREG(original.st_mode))
    return original.st_size == copy.st_size && sameContents(fromDir, toDir, name, path);
  if (S_ISLNK(original.st_mode)) return linkTargetAt(fromDir, name) == linkTargetAt(toDir, name);
  UniqueFd a(::openat(fromDir, name.c_str(), kDirectoryFlags));
  UniqueFd b(::openat(toDir, name.c_str(), kDirectoryFlags));
  return a && b && sameFolders(a.get(), b.get(), path, depth + 1);
}

bool sameFolders(int from, int to, const std::string& path, int depth) {
  if (depth > kMaxDepth + 1) return false;
  const auto original = entries(from, path);
  const auto copy = entries(to, path);
  if (original.size() != copy.size()) return false;
  for (const auto& [name, info] : original) {
    const auto other = copy.find(name);
    if (other == copy.end() ||
        !sameEntry(from, to, name, info, other->second, path + "/" + name, depth))
      return false;
  }
  return true;
}

// The archive folder the user named, created (0700, like every folder below
// it) when it isn't there yet: the dry run promised the copy, so a missing
// folder is made rather than a reason to stop after the yes.
void createMissingFolder(const std::filesystem::path& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) == 0 || errno != ENOENT) return;
  const auto parent = folder.parent_path();
  if (!parent.empty() && parent != folder) createMissingFolder(parent);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw TreeCopyFailure{folder.string(), errno};
}

}  // namespace

UniqueFd openCopyDestination(const std::filesystem::path& base,
                             const std::filesystem::path& relative) {
  createMissingFolder(base);
  UniqueFd folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) throw TreeCopyFailure{base.string(), errno};
  auto path = base;
  for (const auto& part : relative) {
    path /= part;
    if (::mkdirat(folder.get(), part.c_str(), 0700) != 0 && errno != EEXIST)
      throw TreeCopyFailure{path.string(), errno};
    UniqueFd next(::openat(folder.get(), part.c_str(), kDirectoryFlags));
    if (!next) throw TreeCopyFailure{path.string(), errno};
    folder = std::move(next);
  }
  return folder;
}

bool entryExistsIn(int folder, const std::string& name) {
  struct stat info {};
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void copyTree(const HeldItem& item, int destination, const std::string& shownPath) {
  copyEntry(item.parent.get(), destination, item.name, item.status, shownPath, 0);
}

void flushToDisk(int folder, const std::string& shownPath) {
  if (::syncfs(folder) != 0) throw TreeCopyFailure{shownPath, errno};
}

bool copyMatches(const HeldItem& item, int destination, const std::string& shownPath) {
  struct stat copy {};
  if (::fstatat(destination, item.name.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return sameEntry(item.parent.get(), destination, item.name, item.status, copy, shownPath, 0);
}

}  // namespace glimmet::platform
