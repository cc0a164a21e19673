// Reaching an item that is about to be moved without following any symbolic
// link on the way, so that a folder swapped for a link between the check and
// the move can't redirect the move elsewhere. The item's folder is opened
// once, every later step works relative to that descriptor, and the item is
// checked against the identity the scan recorded before anything touches it.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "platform/file_identity.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

/// How a folder is opened: openat2 with RESOLVE_NO_SYMLINKS where the kernel
/// has it, else one openat(O_NOFOLLOW) per component; tests ask for the walk.
enum class LinkFreeResolver { automatic, componentWalk };

/// Why the item found isn't the one that was planned.
enum class ItemChange {
  gone,          ///< nothing is there, or a folder on the way is gone
  linkOnTheWay,  ///< a folder on the way is a symbolic link
  isLink,        ///< the item itself is a symbolic link now
  otherItem,     ///< another file or folder is at its path
};

struct LinkFreeFolder {
  UniqueFd fd;                       ///< O_PATH descriptor, when opened
  std::optional<ItemChange> change;  ///< gone or linkOnTheWay
  int error = 0;                     ///< errno of any other failure
  explicit operator bool() const { return static_cast<bool>(fd); }
};

/// Opens the absolute `folder` so that no component of it is a symbolic link.
/// A folder within `trustedRoot` (the home folder) is reached from the root,
/// which is opened following links: the home folder's own path may pass
/// through one (/home -> /var/home), what lies below it may not. Any other
/// folder must be link-free from "/". A "." or ".." component fails with EINVAL.
LinkFreeFolder openFolderWithoutLinks(const std::filesystem::path& folder,
                                      const std::filesystem::path& trustedRoot,
                                      LinkFreeResolver resolver = LinkFreeResolver::automatic);

/// An item held by its folder's descriptor and its name in that folder.
struct HeldItem {
  UniqueFd parent;
  std::string name;
  struct stat status {};  ///< lstat of the item through `parent`

  FileIdentity identity() const {
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
  }
};

struct ItemNotHeld {
  std::optional<ItemChange> change;  ///< it isn't the planned item
  int error = 0;                     ///< else the errno of what failed
};

/// Reaches `item` (absolute, named) through openFolderWithoutLinks and checks
/// it through that descriptor: with `expected`, the item must not be a link
/// and must have that device and inode.
std::variant<HeldItem, ItemNotHeld> holdItem(
    const std::filesystem::path& item, const std::filesystem::path& trustedRoot,
    const std::optional<FileIdentity>& expected,
    LinkFreeResolver resolver = LinkFreeResolver::automatic);

/// The mount id of an open descriptor (mnt_id in /proc/self/fdinfo).
std::optional<int> mountIDOf(int fd);

}  // namespace glimmet::platform
