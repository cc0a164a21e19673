// Copying a file tree into another folder and checking the copy against it,
// every step relative to open folder descriptors and never through a link:
// links inside the tree are copied as links, never followed.
#pragma once

#include <filesystem>
#include <string>

#include "platform/link_free_open.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {

/// Where a copy or a comparison failed: the entry, as the caller names the
/// tree, and errno.
struct TreeCopyFailure {
  std::string path;
  int error = 0;
};

/// The folder `relative` below `base`, opened without following a link below
/// `base` (`base` itself is the user's choice). `base`, its missing parents and
/// every missing folder of `relative` are made with 0700. Throws TreeCopyFailure.
UniqueFd openCopyDestination(const std::filesystem::path& base,
                             const std::filesystem::path& relative);

/// Whether anything, a link included, is at `name` in `folder`.
bool entryExistsIn(int folder, const std::string& name);

/// Copies `item` into `destination` under its own name: files with their
/// bytes, links as links, folders with everything in them, each with its mode
/// and times. `shownPath` names the item in failures. Sockets, pipes and
/// devices fail with ENOTSUP, a tree deeper than 128 folders with ELOOP.
/// Nothing is removed on failure. Throws TreeCopyFailure.
void copyTree(const HeldItem& item, int destination, const std::string& shownPath);

/// Writes the file system that holds `folder` out to disk. Throws
/// TreeCopyFailure naming `shownPath`.
void flushToDisk(int folder, const std::string& shownPath);

/// Whether the entry of `item`'s name in `destination` matches `item`: the
/// same names, kinds, link targets, sizes and contents all the way down.
/// Throws TreeCopyFailure when a folder can't be listed or a file read.
bool copyMatches(const HeldItem& item, int destination, const std::string& shownPath);

}  // namespace glimmet::platform
