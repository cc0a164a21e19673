// POSIX file operations for the shared folder.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/descriptor_io.h"
#include "platform/system_error.h"

namespace glimmet::platform {
namespace fs = std::filesystem;

namespace {

// A regular file read whole; `ownOnly` also asks that it be no link, the
// effective user's, and writable by no one else.
std::optional<std::string> readRegularFile(const fs::path& path, size_t maxBytes, bool ownOnly) {
  // O_NONBLOCK: opening a FIFO planted where a file should be must not wait for a
  // writer; it is then refused as not a regular file. Regular files ignore the flag.
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (ownOnly ? O_NOFOLLOW : 0);
  UniqueFd fd(retryOnInterrupt([&] { return ::open(path.c_str(), flags); }));
  if (!fd) return std::nullopt;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  if (ownOnly && (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0))
    return std::nullopt;
  if (static_cast<uint64_t>(info.st_size) > maxBytes) return std::nullopt;
  return readToEnd(fd.get(), maxBytes);
}

}  // namespace

std::optional<std::string> readFile(const fs::path& path, size_t maxBytes) {
  return readRegularFile(path, maxBytes, /*ownOnly=*/false);
}

std::optional<std::string> readOwnFile(const fs::path& path, size_t maxBytes) {
  return readRegularFile(path, maxBytes, /*ownOnly=*/true);
}

void createDirectories(const fs::path& path, mode_t mode) {
  if (path.empty()) return;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return;
    throw SystemError("Couldn't create " + path.string(), ENOTDIR);
  }
  if (path.has_parent_path() && path.parent_path() != path)
    createDirectories(path.parent_path(), mode);
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
    throw SystemError("Couldn't create " + path.string(), errno);
}

void writeFileAtomically(const fs::path& path, std::string_view bytes, mode_t mode) {
  std::string pattern =
      (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd) throw SystemError("Couldn't write " + path.string(), errno);
  const auto fail = [&](int error) {
    fd.reset();
    ::unlink(pattern.c_str());
    throw SystemError("Couldn't write " + path.string(), error);
  };
  if (::fchmod(fd.get(), mode) != 0) fail(errno);
  if (!writeAll(fd.get(), bytes)) fail(errno);
  if (retryOnInterrupt([&] { return ::fsync(fd.get()); }) != 0) fail(errno);
  if (::rename(pattern.c_str(), path.c_str()) != 0) fail(errno);
}

void appendToFile(const fs::path& path, std::string_view bytes) {
  UniqueFd fd(retryOnInterrupt([&] {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  }));
  if (!fd) throw SystemError("Couldn't open " + path.string(), errno);
  if (!writeAll(fd.get(), bytes)) throw SystemError("Couldn't write " + path.string(), errno);
}

bool isTerminal(int fd) {
  return ::isatty(fd) == 1;
}

std::optional<size_t> terminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return size.ws_col;
}

bool widenPipe(int fd, size_t bytes) {
  // The kernel rounds the size up to a power of two pages; shrinking is never asked.
  const int current = ::fcntl(fd, F_GETPIPE_SZ);
  if (current < 0) return false;
  if (static_cast<size_t>(current) >= bytes) return true;
  return ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(bytes)) >= 0;
}

}  // namespace glimmet::platform
