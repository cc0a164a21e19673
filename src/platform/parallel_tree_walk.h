// The measuring walk: physical, never leaving a root's device, shared between
// up to `walkers` threads, each depth first on a path of its own that hands
// folders to the others as they run out, so that one huge folder and many
// small roots alike keep every walker busy.
// Each folder is opened and listed once; each non-folder entry costs one
// lstat-class call, and folders none (the listing says what they are, and the
// mount table where they lead to another volume).
//
// What the walk means is the caller's: it attaches a scope to each root,
// decides from each folder's listing which subfolders are entered and with
// what scope, and is handed every counted entry with the scope of its folder.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace glimmet::platform {

/// What the caller attaches to a folder of the walk; derived by the caller.
class WalkScope {
 public:
  virtual ~WalkScope() = default;
};

using WalkScopePtr = std::shared_ptr<WalkScope>;

struct ListedEntry {
  std::string_view name;
  bool folder = false;   ///< from the listing (a stat only where the listing can't tell)
  bool regular = false;  ///< a regular file
};

class TreeVisitor {
 public:
  virtual ~TreeVisitor() = default;
  /// One folder's entries, from the worker listing it. Fill `enter` (already
  /// sized to `entries`, all null) with the scope each subfolder is entered
  /// with (often `scope` itself); a subfolder left null is not entered.
  virtual void folder(size_t worker, const WalkScopePtr& scope,
                      std::span<const ListedEntry> entries, std::span<WalkScopePtr> enter) = 0;
  /// One non-folder entry of a folder; `position` is its place in the listing.
  virtual void file(size_t worker, WalkScope& scope, size_t position, std::string_view name,
                    const FileStatus& status) = 0;
  /// The folder, or one of its entries, was refused (EACCES, EPERM).
  virtual void refused(WalkScope& scope) = 0;
  /// Asked once per folder: true ends the whole walk.
  virtual bool stopped() = 0;
};

struct WalkRoot {
  std::string path;
  WalkScopePtr scope;
};

/// Walks every root (each a folder; one that can't be opened as a real folder
/// is left, refused when that was a permission error) on one queue, each
/// worker at idle I/O priority. Returns true when `stopped` ended the walk.
bool walkTreesInParallel(const std::vector<WalkRoot>& roots, size_t walkers, TreeVisitor& visitor);

}  // namespace glimmet::platform
