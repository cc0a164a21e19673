// openat2(RESOLVE_NO_SYMLINKS) resolves a whole path in the kernel and fails
// with ELOOP at the first link. Kernels before 5.6, and sandboxes whose seccomp
// filter refuses the call, get the same answer from a walk that opens one
// component at a time with O_NOFOLLOW relative to the previous one.
#include "platform/link_free_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace glimmet::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

LinkFreeFolder failed(int error) {
  LinkFreeFolder result;
  result.error = error;
  if (error == ENOENT) result.change = ItemChange::gone;
  if (error == ELOOP) result.change = ItemChange::linkOnTheWay;
  return result;
}

// Checks that an opened descriptor is a folder (O_PATH|O_NOFOLLOW may hand
// back the link itself rather than refuse it).
LinkFreeFolder folder(UniqueFd fd) {
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failed(errno);
  if (S_ISLNK(info.st_mode)) return failed(ELOOP);
  if (!S_ISDIR(info.st_mode)) return failed(ENOTDIR);
  LinkFreeFolder result;
  result.fd = std::move(fd);
  return result;
}

// Whether the kernel resolved it: nothing when openat2 can't be used here.
std::optional<LinkFreeFolder> viaOpenat2(int base, const std::string& relative) {
  open_how how{};
  // Not O_NOFOLLOW: it would exempt the last component from RESOLVE_NO_SYMLINKS
  // and turn a link there into ENOTDIR rather than ELOOP.
  how.flags = static_cast<uint64_t>(O_PATH | O_DIRECTORY | O_CLOEXEC);
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const auto fd =
      ::syscall(SYS_openat2, base, relative.empty() ? "." : relative.c_str(), &how, sizeof how);
  if (fd >= 0) return folder(UniqueFd(static_cast<int>(fd)));
  const int error = errno;
  // ENOTDIR doesn't say whether a link or a file was in the way: the walk tells.
  if (error == ENOSYS || error == EPERM || error == E2BIG || error == EINVAL || error == ENOTDIR)
    return std::nullopt;
  return failed(error);
}

LinkFreeFolder byWalk(int base, const fs::path& relative) {
  UniqueFd current(::openat(base, ".", kFolderFlags));
  if (!current) return failed(errno);
  for (const auto& part : relative) {
    const auto name = part.string();
    UniqueFd next(::openat(current.get(), name.c_str(), kFolderFlags));
    if (!next) {
      const int error = errno;
      struct stat info {};
      if (::fstatat(current.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(info.st_mode))
        return failed(ELOOP);
      return failed(error);
    }
    auto checked = folder(std::move(next));
    if (!checked) return checked;
    current = std::move(checked.fd);
  }
  return folder(std::move(current));
}

std::string withoutTrailingSlash(std::string text) {
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool isWithin(const fs::path& path, const fs::path& root) {
  const auto p = withoutTrailingSlash(path.string());
  const auto r = withoutTrailingSlash(root.string());
  return p == r || (p.size() > r.size() && p.starts_with(r) && p[r.size()] == '/');
}

}  // namespace

LinkFreeFolder openFolderWithoutLinks(const fs::path& given, const fs::path& trustedRoot,
                                      LinkFreeResolver resolver) {
  const fs::path path = withoutTrailingSlash(given.lexically_normal().string());
  if (!path.is_absolute()) return failed(EINVAL);
  for (const auto& part : path.relative_path())
    if (part == "." || part == "..") return failed(EINVAL);

  const fs::path root = withoutTrailingSlash(trustedRoot.lexically_normal().string());
  const bool trusted = !trustedRoot.empty() && root.is_absolute() && root != root.root_path() &&
                       isWithin(path, root);
  // The trusted root is opened following links, the way the user's own
  // setup reaches it; "/" is "/".
  UniqueFd base(::open(trusted ? root.c_str() : "/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!base) return failed(errno);
  const auto relative = trusted ? path.lexically_relative(root) : path.relative_path();
  const auto rest = relative == "." ? fs::path() : relative;

  if (resolver == LinkFreeResolver::automatic)
    if (auto opened = viaOpenat2(base.get(), rest.string())) return std::move(*opened);
  return byWalk(base.get(), rest);
}

std::variant<HeldItem, ItemNotHeld> holdItem(const fs::path& given, const fs::path& trustedRoot,
                                             const std::optional<FileIdentity>& expected,
                                             LinkFreeResolver resolver) {
  const auto item = given.lexically_normal();
  const auto name = item.filename().string();
  if (!item.is_absolute() || name.empty() || name == "." || name == "..")
    return ItemNotHeld{.error = EINVAL};
  auto parent = openFolderWithoutLinks(item.parent_path(), trustedRoot, resolver);
  if (!parent) return ItemNotHeld{.change = parent.change, .error = parent.error};
  HeldItem held{.parent = std::move(parent.fd), .name = name};
  if (::fstatat(held.parent.get(), name.c_str(), &held.status, AT_SYMLINK_NOFOLLOW) != 0) {
    const int error = errno;
    if (error == ENOENT) return ItemNotHeld{.change = ItemChange::gone, .error = error};
    return ItemNotHeld{.error = error};
  }
  if (expected) {
    if (S_ISLNK(held.status.st_mode)) return ItemNotHeld{.change = ItemChange::isLink};
    if (held.identity().device != expected->device || held.identity().inode != expected->inode)
      return ItemNotHeld{.change = ItemChange::otherItem};
  }
  return held;
}

std::optional<int> mountIDOf(int fd) {
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
  std::string line;
  while (std::getline(info, line))
    if (line.starts_with("mnt_id:")) {
      try {
        return std::stoi(line.substr(7));
      } catch (const std::exception&) {
        return std::nullopt;
      }
    }
  return std::nullopt;
}

}  // namespace glimmet::platform
