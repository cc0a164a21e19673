// Keeping agent chats before they go to the Trash: the item is copied into an
// archive folder the user picks, the copy is read back and compared with the
// original byte for byte, and only a copy that matches lets the original move.
// Nothing is ever deleted here: a copy that fails half way stays where it is,
// and the failure says where.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/disk/disk_item.h"
#include "core/safety/disk_protected_list.h"
#include "platform/link_free_open.h"

namespace glimmet {

/// Why an item wasn't archived, as the user reads it; the original is untouched.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The item isn't the one the scan measured, or can't be reached without a
/// link: nothing was copied.
class ArchiveItemChanged : public ArchiveError {
 public:
  ArchiveItemChanged(platform::ItemChange change, const std::string& what)
      : ArchiveError(what), change_(change) {}
  platform::ItemChange change() const { return change_; }

 private:
  platform::ItemChange change_;
};

namespace archive_reason {
inline constexpr std::string_view insideItem =
    "Pick an archive folder outside what's being cleaned up";
inline constexpr std::string_view protectedFolder =
    "Pick another archive folder: that one is protected";
}  // namespace archive_reason

/// Why a folder can't take archives of `items`: it lies inside one of them, or
/// it is a protected place. `spellings` are the folder as given (absolute) and
/// with its links resolved, last; either may lie inside an item, and the
/// resolved one is the place that is checked for protection.
std::optional<std::string> archiveFolderProblem(const std::vector<std::string>& spellings,
                                                const std::vector<DiskItem>& items,
                                                const DiskProtectedList& protectedList);

class Archiver {
 public:
  /// Where an item lands: its path below the home folder (or below "/"), so
  /// that chats of different agents and months never meet, with the leading
  /// dot of the first folder dropped so the archive isn't hidden:
  /// ~/.claude/projects/x goes to FOLDER/claude/projects/x.
  static std::filesystem::path target(const std::string& itemPath, const std::string& home,
                                      const std::filesystem::path& folder);

  /// Reaches the item the way a move to the Trash does (no link on the way
  /// below `home`, its identity as the scan recorded it, else
  /// ArchiveItemChanged), then copies it (links inside it are copied as links, never followed;
  /// modes and modification times kept), flushes the copy to disk, and
  /// compares it with the original: the same names, kinds, link targets,
  /// sizes and contents. Returns where the copy is. Throws ArchiveError.
  std::filesystem::path archive(const DiskItem& item, const std::string& home,
                                const std::filesystem::path& folder) const;
};

}  // namespace glimmet
