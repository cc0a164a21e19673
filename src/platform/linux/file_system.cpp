// Path queries over lstat, stat, access, readlink and directory streams.
#include "platform/file_system.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/linux/file_status.h"

namespace glimmet::platform {
namespace {

// stat or lstat, with the error number kept.
std::optional<FileStatus> statusBy(int (*call)(const char*, struct stat*),
                                   const std::filesystem::path& path, int& error) {
  struct stat info {};
  if (call(path.c_str(), &info) != 0) {
    error = errno;
    return std::nullopt;
  }
  error = 0;
  return statusOf(info);
}

}  // namespace

std::optional<FileStatus> lstatPath(const std::filesystem::path& path, int& error) {
  return statusBy(::lstat, path, error);
}

std::optional<FileStatus> linkStatus(const std::filesystem::path& path) {
  int error = 0;
  return lstatPath(path, error);
}

std::optional<FileStatus> targetStatus(const std::filesystem::path& path) {
  int error = 0;
  return targetStatus(path, error);
}

bool entryExists(const std::filesystem::path& path) {
  return linkStatus(path).has_value();
}

bool isExecutableFile(const std::filesystem::path& path) {
  const auto status = targetStatus(path);
  return status && status->kind == FileStatus::Kind::file && ::access(path.c_str(), X_OK) == 0;
}

bool isWritableFolder(const std::filesystem::path& path) {
  const auto status = targetStatus(path);
  return status && status->kind == FileStatus::Kind::directory &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool forEachFolderEntry(
    const std::filesystem::path& path,
    const std::function<void(std::string_view name, FileStatus::Kind kind)>& visit) {
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.c_str()), ::closedir);
  if (!folder) return false;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FileStatus::Kind kind = FileStatus::Kind::other;
    switch (entry->d_type) {
      case DT_DIR:
        kind = FileStatus::Kind::directory;
        break;
      case DT_REG:
        kind = FileStatus::Kind::file;
        break;
      case DT_LNK:
        kind = FileStatus::Kind::symlink;
        break;
      case DT_UNKNOWN:
        // Some file systems don't fill in the type: ask the entry itself.
        if (const auto status = linkStatus(path / name)) kind = status->kind;
        break;
      default:
        break;
    }
    visit(name, kind);
  }
  return true;
}

std::optional<std::vector<FolderEntry>> listFolder(const std::filesystem::path& path) {
  std::vector<FolderEntry> entries;
  const bool opened = forEachFolderEntry(path, [&](std::string_view name, FileStatus::Kind kind) {
    entries.push_back({std::string(name), kind});
  });
  if (!opened) return std::nullopt;
  return entries;
}

std::optional<std::filesystem::path> resolvedPath(const std::filesystem::path& path) {
  const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr),
                                                        std::free);
  if (!resolved) return std::nullopt;
  return std::filesystem::path(resolved.get());
}

std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path) {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (length < 0 || static_cast<size_t>(length) >= buffer.size()) return std::nullopt;
  buffer.resize(static_cast<size_t>(length));
  return std::filesystem::path(buffer);
}

std::filesystem::path currentFolder() {
  std::error_code error;
  auto path = std::filesystem::current_path(error);
  return error ? std::filesystem::path() : path;
}

bool removeFile(const std::filesystem::path& path) {
  int error = 0;
  return removeFile(path, error);
}

std::optional<FileStatus> targetStatus(const std::filesystem::path& path, int& error) {
  return statusBy(::stat, path, error);
}

bool isWritable(const std::filesystem::path& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

bool removeFile(const std::filesystem::path& path, int& error) {
  error = ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
  return error == 0;
}

std::filesystem::path absolutePath(const std::filesystem::path& path) {
  std::error_code error;
  auto absolute = std::filesystem::absolute(path, error);
  return error ? std::filesystem::path() : absolute;
}

std::optional<std::filesystem::path> weaklyResolvedPath(const std::filesystem::path& path) {
  std::error_code error;
  auto resolved = std::filesystem::weakly_canonical(path, error);
  if (error) return std::nullopt;
  return resolved;
}

}  // namespace glimmet::platform
