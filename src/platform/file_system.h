// Plain questions about paths, asked of the file system itself: what an entry
// is, what a folder holds, where a link leads. Code above the platform layer
// asks here instead of calling stat or std::filesystem, so that every touch of
// the disk sits behind this seam. Nothing here throws: a path that can't be
// read answers "nothing", which each caller turns into its own words.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {
struct FileIdentity;
}

namespace glimmet::platform {

struct FileStatus {
  enum class Kind { directory, file, symlink, other };
  Kind kind = Kind::other;
  dev_t device = 0;
  ino_t inode = 0;
  nlink_t links = 0;
  uint64_t blocks512 = 0;  ///< allocated 512-byte blocks (never negative)
  uint64_t size = 0;       ///< length in bytes
  timespec modified{};
  uid_t owner = 0;
  mode_t mode = 0;

  FileIdentity identity() const;
};

/// The status of `path` itself (a link is a link). Nothing with `error` set to
/// errno when it can't be read.
std::optional<FileStatus> lstatPath(const std::filesystem::path& path, int& error);
/// The same without the error number.
std::optional<FileStatus> linkStatus(const std::filesystem::path& path);
/// The device and inode of `path` itself; nothing when it can't be read.
std::optional<FileIdentity> linkIdentity(const std::filesystem::path& path);
/// The status of what `path` leads to, every link followed.
std::optional<FileStatus> targetStatus(const std::filesystem::path& path);

/// Whether anything at all is at `path`, a dangling link included.
bool entryExists(const std::filesystem::path& path);
/// Whether `path` leads to a regular file this process may run.
bool isExecutableFile(const std::filesystem::path& path);
/// Whether this process may write into the folder at `path`.
bool isWritableFolder(const std::filesystem::path& path);

struct FolderEntry {
  std::string name;
  FileStatus::Kind kind = FileStatus::Kind::other;  ///< of the entry itself, links not followed
};

/// The entries of the folder at `path`, without "." and "..", in the order the
/// file system lists them. Nothing when it can't be opened as a folder.
std::optional<std::vector<FolderEntry>> listFolder(const std::filesystem::path& path);
/// The same entries handed to `visit` one by one as they are read, for folders
/// with thousands of entries of which few matter. False when the folder can't
/// be opened.
bool forEachFolderEntry(
    const std::filesystem::path& path,
    const std::function<void(std::string_view name, FileStatus::Kind kind)>& visit);

/// `path` absolute, with every link and "." or ".." resolved; nothing when a
/// component is missing or can't be read.
std::optional<std::filesystem::path> resolvedPath(const std::filesystem::path& path);
/// Where the link at `path` points, as written in it; nothing when `path` is no link.
std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path);
/// The working folder of this process; empty when it is gone.
std::filesystem::path currentFolder();

/// Removes the file or link at `path` (never a folder). True when nothing is
/// there afterwards, also when nothing was.
bool removeFile(const std::filesystem::path& path);

/// The status of what `path` leads to, with `error` set to errno when it can't
/// be read (ENOENT or ENOTDIR: nothing is there).
std::optional<FileStatus> targetStatus(const std::filesystem::path& path, int& error);
/// Whether this process may write to what `path` leads to, a file or a folder.
bool isWritable(const std::filesystem::path& path);
/// removeFile, with `error` set to errno when something is still there.
bool removeFile(const std::filesystem::path& path, int& error);
/// `path` made absolute against the working folder, lexically; empty when the
/// working folder is gone.
std::filesystem::path absolutePath(const std::filesystem::path& path);
/// `path` with the links on the part of it that exists resolved and the rest
/// appended lexically, so a folder yet to be made has its real place; nothing
/// when that part can't be read.
std::optional<std::filesystem::path> weaklyResolvedPath(const std::filesystem::path& path);

}  // namespace glimmet::platform
