// Reading the links of a /proc/<pid> folder (exe, cwd, fd/N) relative to an open
// descriptor, shared by the process table and the open-files reader.
#pragma once

#include <dirent.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet::platform::procfs {

struct DirectoryCloser {
  void operator()(DIR* stream) const { ::closedir(stream); }
};
/// Owns a directory stream (and the descriptor under it) for its scope.
using DirectoryStream = std::unique_ptr<DIR, DirectoryCloser>;

/// The text of the link `name` in `directory`, of any length up to PATH_MAX.
/// Nothing with errno set when it can't be read.
std::optional<std::string> readLinkAt(int directory, const char* name);

/// Whether the " (deleted)" the kernel appends to the target of a link whose file
/// was unlinked is what ends `target`. A file may really be named so: only a link
/// that still leads to a file with names left is taken as that real name.
bool linkTargetDeleted(int directory, const char* name, std::string_view target);

}  // namespace glimmet::platform::procfs
