// Moving an item to the user's Trash so that it can be put back: a record of
// where it came from is written first, then the item moves with one rename on
// its own volume. Nothing is ever copied and deleted, so a move that can't be
// a rename doesn't happen.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/file_identity.h"
#include "platform/link_free_open.h"

namespace glimmet::platform {

/// Why an item couldn't go to the Trash; the item is where it was.
class TrashError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The item at the path isn't the one asked for, or can't be reached without
/// following a link: nothing moved.
class TrashItemChanged : public TrashError {
 public:
  TrashItemChanged(ItemChange change, const std::string& what)
      : TrashError(what), change_(change) {}
  ItemChange change() const { return change_; }

 private:
  ItemChange change_;
};

struct TrashedItem {
  std::filesystem::path trashPath;  ///< files/NAME in the Trash that took it
  FileIdentity identity;            ///< unchanged by the move
};

class SystemTrash {
 public:
  /// The home trash follows XDG_DATA_HOME (else HOME/.local/share) of `environment`.
  explicit SystemTrash(const Environment& environment);

  /// Moves `item` (not followed if it is a link) into the Trash on its own
  /// mount. `now` is written as the deletion date, in local time.
  ///
  /// The item's folder is opened without following any link below the home
  /// folder (the home folder's own path may pass through one; anywhere else,
  /// none from "/" on), the item is checked through that descriptor against
  /// `expected` (device and inode, as the scan recorded them) and renamed
  /// relative to it into the Trash's files/ folder. A link on the way, an item
  /// that is gone, a link or another item throws TrashItemChanged and nothing
  /// moves. Without `expected`, whatever is at the path moves.
  TrashedItem moveToTrash(const std::filesystem::path& item,
                          std::chrono::system_clock::time_point now,
                          const std::optional<FileIdentity>& expected = std::nullopt,
                          LinkFreeResolver resolver = LinkFreeResolver::automatic) const;

  /// The home trash, and this user's per-mount trashes that exist.
  std::vector<std::filesystem::path> trashRoots() const;

  const std::filesystem::path& homeTrash() const { return homeTrash_; }

 private:
  std::optional<int> homeTrashMount() const;

  std::filesystem::path homeTrash_;
  std::filesystem::path home_;  ///< below it no folder may be a link
};

/// The home trash of `home`, which holds what goes to the Trash from its mount:
/// XDG_DATA_HOME/Trash when that is an absolute path, else
/// HOME/.local/share/Trash. Never cleaned from, and measured apart from home.
std::filesystem::path homeTrashFolder(const Environment& environment,
                                      const std::filesystem::path& home);

/// Percent-encodes a path for a .trashinfo Path= line: every byte outside the
/// unreserved characters and "/" becomes %XX.
std::string trashInfoPathEncoding(std::string_view path);

}  // namespace glimmet::platform
