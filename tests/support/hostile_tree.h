// File trees that try to trip a walker (names that are no text, links that
// loop or lead out, FIFOs and sockets, folders it may not read), and a child
// process to walk them in, so a walker that hangs or needs another user's
// rights fails one test instead of the run.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace glimmet::testing {

/// Builds `root` (which must not exist) and a sibling folder "outside" holding
/// a file "secret" that no walk of `root` may reach. Below `root`:
///   "line\nbreak/inner\xff"  a file below a folder whose name holds a newline
///   "bad\xff\xfe.txt"       a file whose name is not UTF-8
///   "fifo", "socket"         a FIFO and a bound Unix socket
///   "to-outside"             a link to the outside folder
///   "loop", "up", "self"     links to ".", ".." and to themselves
///   "dangling"               a link to nothing
/// Returns every entry a walk must visit, in no particular order.
struct TreeEntry {
  std::string kind;  ///< "dir", "file", "link" or "other" (FIFO, socket)
  std::string path;  ///< below the root
};
std::vector<TreeEntry> makeHostileTree(const std::filesystem::path& root);

/// The kind names TreeEntry uses, for the statuses a walk hands out.
std::string kindName(platform::FileStatus::Kind kind);

/// Below `root`: "visible.txt"; "locked/hidden.txt" in a folder of mode 000;
/// "listable/unstatable.txt" in one of mode 0444, whose names list but can't
/// be stat'ed. Both folders go to user 65534 when this process is root. Their
/// modes are given back when it goes, so that the tree can be removed.
class RestrictedTree {
 public:
  explicit RestrictedTree(const std::filesystem::path& root);
  ~RestrictedTree();
  RestrictedTree(const RestrictedTree&) = delete;
  RestrictedTree& operator=(const RestrictedTree&) = delete;

 private:
  std::filesystem::path root_;
};

/// One line for comparing walks: `kind`, then `path` with every byte outside
/// printable ASCII written as \xNN, so that failures print legibly.
std::string describeEntry(std::string_view kind, std::string_view path);
/// The lines, sorted and joined.
std::string sortedLines(std::vector<std::string> lines);

/// Runs `body` in a forked child that, when this process is root, first becomes
/// user 65534. Returns what it returned, or nothing when it could not switch
/// users, crashed, or took longer than `seconds` (a walker waiting on a FIFO).
std::optional<std::string> runInChild(const std::function<std::string()>& body, int seconds = 30);

}  // namespace glimmet::testing
