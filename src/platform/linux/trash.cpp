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
  return mountIDOf(fd.get());
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

bool anythingAt(int folder, const std::string& name) {
  struct stat info {};
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

// files/ or info/ of a Trash, never through a link, and only a folder of ours.
UniqueFd openTrashFolder(int trash, const char* name, const fs::path& shown) {
  UniqueFd fd(::openat(trash, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
    throw TrashError("The Trash folder " + (shown / name).string() + " isn't a folder of yours");
  return fd;
}

std::string changeText(ItemChange change, const fs::path& item) {
  switch (change) {
    case ItemChange::gone:
      return item.string() + " is gone";
    case ItemChange::linkOnTheWay:
      return "A folder on the way to " + item.string() + " is a symlink";
    case ItemChange::isLink:
      return item.string() + " is a symlink now";
    case ItemChange::otherItem:
      return "Something else is at " + item.string() + " now";
  }
  return item.string() + " changed";
}

[[noreturn]] void notHeld(const ItemNotHeld& why, const fs::path& item) {
  if (why.change) throw TrashItemChanged(*why.change, changeText(*why.change, item));
  throw TrashError(failure(item.string(), why.error));
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

fs::path homeTrashFolder(const Environment& environment, const fs::path& home) {
  if (auto data = environment.absolutePath("XDG_DATA_HOME")) return fs::path(*data) / "Trash";
  return home / ".local/share/Trash";
}

SystemTrash::SystemTrash(const Environment& environment)
    : homeTrash_(homeTrashFolder(environment, homeDir(environment))), home_(homeDir(environment)) {}

TrashedItem SystemTrash::moveToTrash(const fs::path& given,
                                     std::chrono::system_clock::time_point now,
                                     const std::optional<FileIdentity>& expected,
                                     LinkFreeResolver resolver) const {
  const auto item = given.lexically_normal();
  if (!item.is_absolute() || !item.has_filename() || item == item.root_path())
    throw TrashError("Only a named absolute path can go to the Trash");
  // From here on the item is its folder's descriptor and its name there: a
  // folder on the way swapped for a link can no longer redirect the move.
  auto reached = holdItem(item, home_, expected, resolver);
  if (auto* why = std::get_if<ItemNotHeld>(&reached)) notHeld(*why, item);
  const auto held = std::get<HeldItem>(std::move(reached));
  const auto itemMount = mountIDOf(held.parent.get());
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
    if (!found) throw TrashError("There's no Trash on the volume that holds " + item.string());
    trash = *found;
    infoPath = item.lexically_relative(top).string();
  }
  const UniqueFd trashFd(::open(trash.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!trashFd) throw TrashError(failure("Couldn't open the Trash " + trash.string(), errno));
  const auto files = openTrashFolder(trashFd.get(), "files", trash);
  const auto infos = openTrashFolder(trashFd.get(), "info", trash);
  if (mountIDOf(files.get()) != itemMount)
    throw TrashError("There's no Trash on the volume that holds " + item.string());

  const auto base = held.name;
  for (int attempt = 1; attempt <= kMaxNames; ++attempt) {
    const auto name = candidateName(base, attempt);
    const auto infoName = name + ".trashinfo";
    // The info file reserves the name: whoever creates it first owns it.
    UniqueFd fd(::openat(infos.get(), infoName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
      if (errno == EEXIST) continue;
      throw TrashError(failure("Couldn't write to the Trash", errno));
    }
    const auto removeInfo = [&] { ::unlinkat(infos.get(), infoName.c_str(), 0); };
    if (anythingAt(files.get(), name)) {
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
    if (::renameat2(held.parent.get(), held.name.c_str(), files.get(), name.c_str(),
                    RENAME_NOREPLACE) != 0) {
      const int error = errno;
      removeInfo();
      if (error == EEXIST) continue;
      if (error == ENOENT)
        throw TrashItemChanged(ItemChange::gone, changeText(ItemChange::gone, item));
      throw TrashError(failure("Couldn't move " + item.string() + " to the Trash", error));
    }
    // The name could still have been given to something else in that same
    // folder between the check and the rename: what moved must be what was
    // checked, or it goes straight back.
    struct stat moved {};
    if (::fstatat(files.get(), name.c_str(), &moved, AT_SYMLINK_NOFOLLOW) != 0 ||
        moved.st_dev != held.status.st_dev || moved.st_ino != held.status.st_ino) {
      if (::renameat2(files.get(), name.c_str(), held.parent.get(), held.name.c_str(),
                      RENAME_NOREPLACE) == 0) {
        removeInfo();
        throw TrashItemChanged(ItemChange::otherItem, changeText(ItemChange::otherItem, item));
      }
      throw TrashError("Something else took the place of " + item.string() +
                       " and went to the Trash as " + (trash / "files" / name).string());
    }
    return {trash / "files" / name, held.identity()};
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
