// The shared folder through one directory descriptor: openat, renameat and
// flock relative to it, O_NOFOLLOW and O_NONBLOCK on every open, and an fstat
// check of what was opened before a byte is read or written.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/linux/descriptor_io.h"

namespace glimmet::platform {
namespace fs = std::filesystem;

namespace {

// How often a held lock is tried again: from 1 ms (most holders are done in a
// few) up to every 20 ms, so a lock released a moment later costs little and a
// stuck one doesn't spin.
constexpr auto kLockPoll = std::chrono::milliseconds(20);
constexpr size_t kChunkBytes = 64 * 1024;

// A name is one entry of the folder: no separator can lead elsewhere.
bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// 0 when `fd` is a regular file of ours, with its group and other bits taken
// away; otherwise the errno that explains the refusal.
int checkOwnFile(int fd, struct stat& info) {
  if (::fstat(fd, &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (info.st_uid != ::geteuid()) return EPERM;
  if ((info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0) return errno;
  return 0;
}

// Opens `name` below `folder` as a regular file of ours, or fails with errno set.
UniqueFd openOwnFile(int folder, std::string_view name, int flags, struct stat& info) {
  if (!isPlainName(name)) {
    errno = EINVAL;
    return UniqueFd();
  }
  const std::string entry(name);
  UniqueFd fd(retryOnInterrupt([&] {
    return ::openat(folder, entry.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                    0600);
  }));
  if (!fd) return fd;
  if (const int refused = checkOwnFile(fd.get(), info); refused != 0) {
    errno = refused;
    return UniqueFd();
  }
  return fd;
}

// The folder at `path` if it is ours, tightened to 0700; errno set otherwise.
UniqueFd openOwnFolder(const fs::path& path) {
  UniqueFd fd(retryOnInterrupt(
      [&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY); }));
  if (!fd) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return UniqueFd();
  if (info.st_uid != ::geteuid()) {
    errno = EPERM;
    return UniqueFd();
  }
  if ((info.st_mode & 077) != 0 && ::fchmod(fd.get(), info.st_mode & 0700) != 0) return UniqueFd();
  return fd;
}

std::string describe(const fs::path& folder, std::string_view name) {
  return (folder / std::string(name)).string();
}

}  // namespace

LockTimeout::LockTimeout(const std::string& what) : SystemError(what, EWOULDBLOCK) {}

std::optional<SharedFolder> SharedFolder::open(const fs::path& path) {
  UniqueFd fd = openOwnFolder(path);
  if (!fd) return std::nullopt;
  return SharedFolder(std::move(fd), path);
}

SharedFolder SharedFolder::create(const fs::path& path) {
  createDirectories(path, 0700);
  UniqueFd fd = openOwnFolder(path);
  if (!fd) {
    const int error = errno;
    throw SystemError(error == EPERM ? "Couldn't use " + path.string() + ", another user's folder"
                                     : "Couldn't open " + path.string(),
                      error);
  }
  return SharedFolder(std::move(fd), path);
}

std::optional<std::string> SharedFolder::read(std::string_view name, size_t maxBytes) const {
  struct stat info {};
  const UniqueFd fd = openOwnFile(fd_.get(), name, O_RDONLY, info);
  if (!fd || static_cast<uint64_t>(info.st_size) > maxBytes) return std::nullopt;
  return readToEnd(fd.get(), maxBytes);
}

bool SharedFolder::readTail(std::string_view name, size_t maxBytes,
                            const std::function<void(std::string_view)>& chunk) const {
  struct stat info {};
  const UniqueFd fd = openOwnFile(fd_.get(), name, O_RDONLY, info);
  if (!fd) return false;
  const auto size = static_cast<uint64_t>(info.st_size);
  off_t offset = size > maxBytes ? static_cast<off_t>(size - maxBytes) : 0;
  // Bytes past the size seen at open are a writer's, appended since: left for
  // the next reader, which keeps the read bounded even for a growing file.
  uint64_t left = size - static_cast<uint64_t>(offset);
  bool atLineStart = offset == 0;
  char buffer[kChunkBytes];
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, sizeof buffer));
    const ssize_t got = retryOnInterrupt([&] { return ::pread(fd.get(), buffer, want, offset); });
    if (got < 0) return false;
    if (got == 0) break;
    offset += got;
    left -= static_cast<uint64_t>(got);
    std::string_view piece(buffer, static_cast<size_t>(got));
    if (!atLineStart) {
      const size_t end = piece.find('\n');
      if (end == std::string_view::npos) continue;
      piece.remove_prefix(end + 1);
      atLineStart = true;
    }
    if (!piece.empty()) chunk(piece);
  }
  return true;
}

std::optional<uint64_t> SharedFolder::size(std::string_view name) const {
  struct stat info {};
  const UniqueFd fd = openOwnFile(fd_.get(), name, O_RDONLY, info);
  if (!fd) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool SharedFolder::contains(std::string_view name) const {
  if (!isPlainName(name)) return false;
  struct stat info {};
  return ::fstatat(fd_.get(), std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void SharedFolder::append(std::string_view name, std::string_view bytes) const {
  struct stat info {};
  const UniqueFd fd = openOwnFile(fd_.get(), name, O_WRONLY | O_APPEND | O_CREAT, info);
  if (!fd) throw SystemError("Couldn't open " + describe(path_, name), errno);
  // A second name for the file could be a hard link to one of the user's own
  // files elsewhere; a log of ours has exactly one.
  if (info.st_nlink != 1) throw SystemError("Couldn't use " + describe(path_, name), EMLINK);
  if (!writeAll(fd.get(), bytes))
    throw SystemError("Couldn't write " + describe(path_, name), errno);
}

void SharedFolder::replace(std::string_view name, std::string_view bytes) const {
  if (!isPlainName(name)) throw SystemError("Couldn't write " + describe(path_, name), EINVAL);
  const std::string target(name);
  // What is there now is replaced, not written through: renameat swaps the
  // name itself, so a planted link or FIFO is simply gone afterwards. Another
  // user's file is left alone.
  struct stat existing {};
  if (::fstatat(fd_.get(), target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(existing.st_mode) && existing.st_uid != ::geteuid())
    throw SystemError("Couldn't write " + describe(path_, name), EPERM);

  std::string temporary;
  UniqueFd fd;
  for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != sizeof random)
      random = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    temporary = "." + target + "." + std::to_string(random % 1'000'000'000'000ULL);
    fd = UniqueFd(retryOnInterrupt([&] {
      return ::openat(fd_.get(), temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    }));
    if (!fd && errno != EEXIST) break;
  }
  if (!fd) throw SystemError("Couldn't write " + describe(path_, name), errno);
  const auto fail = [&](int error) {
    fd.reset();
    ::unlinkat(fd_.get(), temporary.c_str(), 0);
    throw SystemError("Couldn't write " + describe(path_, name), error);
  };
  // The creation mode went through the umask; the file's mode is set outright.
  if (::fchmod(fd.get(), 0600) != 0) fail(errno);
  if (!writeAll(fd.get(), bytes)) fail(errno);
  if (retryOnInterrupt([&] { return ::fsync(fd.get()); }) != 0) fail(errno);
  if (::renameat(fd_.get(), temporary.c_str(), fd_.get(), target.c_str()) != 0) fail(errno);
}

void SharedFolder::rename(std::string_view from, std::string_view to) const {
  if (!isPlainName(from) || !isPlainName(to))
    throw SystemError("Couldn't rename " + describe(path_, from), EINVAL);
  if (::renameat(fd_.get(), std::string(from).c_str(), fd_.get(), std::string(to).c_str()) != 0)
    throw SystemError("Couldn't rename " + describe(path_, from), errno);
}

LockedFile SharedFolder::lock(std::string_view name, std::chrono::milliseconds wait) const {
  struct stat info {};
  UniqueFd fd = openOwnFile(fd_.get(), name, O_RDWR | O_CREAT, info);
  if (!fd) throw SystemError("Couldn't open " + describe(path_, name), errno);
  // Polled rather than blocking, so that a lock someone holds forever costs a
  // bounded wait and never the whole command.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) == 0)
      return LockedFile(std::move(fd));
    if (errno != EWOULDBLOCK) throw SystemError("Couldn't lock " + describe(path_, name), errno);
    if (std::chrono::steady_clock::now() >= deadline)
      throw LockTimeout("Couldn't lock " + describe(path_, name) + " in time");
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(kLockPoll));
  }
}

}  // namespace glimmet::platform
