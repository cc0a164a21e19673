// FreeDesktop Trash: $XDG_DATA_HOME/Trash for the home folder's mount,
// $topdir/.Trash/$uid or $topdir/.Trash-$uid for other mounts.
#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxNames = 10'000;

std::string failure(const std::string& what, int error) {
  return what + ": " + describeError(error);
}

// Mounts, not devices: two bind mounts of one device still refuse a rename.
std::optional<int> mountID(const fs::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd.get()));
  std::string line;
  while (std::getline(info, line))
    if (line.starts_with("mnt_id:")) return std::stoi(line.substr(7));
  return std::nullopt;
}

// The mount point holding `path`: the highest ancestor on the same mount.
fs::path mountTop(const fs::path& path, int mount) {
  auto top = path.parent_path();
  while (top.has_parent_path() && top != top.parent_path()) {
    const auto parent = top.parent_path();
    if (mountID(parent) != mount) break;
    top = parent;
  }
  return top;
}

bool isOwnPrivateFolder(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

void makePrivateFolder(const fs::path& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    throw TrashError(failure("Couldn't make the Trash folder " + path.string(), errno));
  if (!isOwnPrivateFolder(path))
    throw TrashError("The Trash folder " + path.string() + " isn't a folder of yours");
}

void prepare(const fs::path& trash) {
  makePrivateFolder(trash);
  makePrivateFolder(trash / "files");
  makePrivateFolder(trash / "info");
}

// The per-mount trash for `top`, made when missing; nothing when none can be used.
std::optional<fs::path> mountTrash(const fs::path& top) {
  const auto uid = std::to_string(::getuid());
  const auto shared = top / ".Trash";
  struct stat info {};
  if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
    try {
      prepare(shared / uid);
      return shared / uid;
    } catch (const TrashError&) {
      // Fall through to the per-user folder, as the trash layout allows.
    }
  }
  try {
    prepare(top / (".Trash-" + uid));
    return top / (".Trash-" + uid);
  } catch (const TrashError&) {
    return std::nullopt;
  }
}

std::string localDeletionDate(std::chrono::system_clock::time_point now) {
  const auto seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string candidateName(const std::string& base, int attempt) {
  return attempt == 1 ? base : base + "." + std::to_string(attempt);
}

bool anythingAt(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

void writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const auto wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) throw TrashError(failure("Couldn't write to the Trash", errno));
    done += static_cast<std::size_t>(wrote);
  }
}

}  // namespace

// The mount the home trash is (or would be) on: that of its nearest existing folder.
std::optional<int> SystemTrash::homeTrashMount() const {
  auto folder = homeTrash_;
  while (!anythingAt(folder) && folder.has_parent_path() && folder != folder.parent_path())
    folder = folder.parent_path();
  return mountID(folder);
}

std::string trashInfoPathEncoding(std::string_view path) {
  constexpr std::string_view kKept = "-_.!~*'()/";
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || kKept.find(c) != std::string_view::npos) {
      out.push_back(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      out += hex;
    }
  }
  return out;
}

SystemTrash::SystemTrash(const Environment& environment) {
  if (auto data = environment.absolutePath("XDG_DATA_HOME"))
    homeTrash_ = fs::path(*data) / "Trash";
  else
    homeTrash_ = homeDir(environment) / ".local/share/Trash";
}

TrashedItem SystemTrash::moveToTrash(const fs::path& given,
                                     std::chrono::system_clock::time_point now) const {
  const auto item = given.lexically_normal();
  if (!item.is_absolute() || !item.has_filename() || item == item.root_path())
    throw TrashError("Only a named absolute path can go to the Trash");
  struct stat before {};
  if (::lstat(item.c_str(), &before) != 0) throw TrashError(failure(item.string(), errno));
  const auto itemMount = mountID(item);
  if (!itemMount) throw TrashError(failure(item.string(), errno));

  // The home trash sits under the data folder, which may not exist yet.
  fs::path trash;
  std::string infoPath = item.string();
  if (homeTrashMount() == itemMount) {
    try {
      createDirectories(homeTrash_.parent_path(), 0700);
    } catch (const SystemError& error) {
      throw TrashError(error.what());
    }
    prepare(homeTrash_);
    trash = homeTrash_;
  } else {
    const auto top = mountTop(item, *itemMount);
    const auto found = mountTrash(top);
    if (!found || mountID(*found) != itemMount)
      throw TrashError("There's no Trash on the volume that holds " + item.string());
    trash = *found;
    infoPath = item.lexically_relative(top).string();
  }

  const auto base = item.filename().string();
  for (int attempt = 1; attempt <= kMaxNames; ++attempt) {
    const auto name = candidateName(base, attempt);
    const auto info = trash / "info" / (name + ".trashinfo");
    const auto target = trash / "files" / name;
    // The info file reserves the name: whoever creates it first owns it.
    UniqueFd fd(::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
      if (errno == EEXIST) continue;
      throw TrashError(failure("Couldn't write to the Trash", errno));
    }
    const auto removeInfo = [&] { ::unlink(info.c_str()); };
    if (anythingAt(target)) {
      fd = UniqueFd();
      removeInfo();
      continue;
    }
    try {
      writeAll(fd.get(), "[Trash Info]\nPath=" + trashInfoPathEncoding(infoPath) +
                             "\nDeletionDate=" + localDeletionDate(now) + "\n");
      if (::fsync(fd.get()) != 0) throw TrashError(failure("Couldn't write to the Trash", errno));
    } catch (...) {
      fd = UniqueFd();
      removeInfo();
      throw;
    }
    fd = UniqueFd();
    if (::renameat2(AT_FDCWD, item.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      const int error = errno;
      removeInfo();
      if (error == EEXIST) continue;
      throw TrashError(failure("Couldn't move " + item.string() + " to the Trash", error));
    }
    return {target, FileIdentity{static_cast<uint64_t>(before.st_dev),
                                 static_cast<uint64_t>(before.st_ino)}};
  }
  throw TrashError("The Trash has too many items named " + base);
}

std::vector<fs::path> SystemTrash::trashRoots() const {
  std::vector<fs::path> roots = {homeTrash_};
  std::ifstream mounts("/proc/self/mountinfo");
  const auto uid = std::to_string(::getuid());
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    if (point.empty() || point.find('\\') != std::string::npos) continue;
    for (const auto& candidate :
         {fs::path(point) / ".Trash" / uid, fs::path(point) / (".Trash-" + uid)})
      if (isOwnPrivateFolder(candidate)) roots.push_back(candidate);
  }
  return roots;
}

}  // namespace glimmet::platform
