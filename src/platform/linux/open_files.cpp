// <root>/<pid>/fd: each descriptor is a link whose target names the open file.
#include "platform/open_files.h"

#include <dirent.h>

#include "platform/linux/procfs_links.h"

namespace glimmet::platform {

std::vector<std::string> openFilePaths(pid_t pid, const ProcRoot& root) {
  std::vector<std::string> paths;
  const procfs::DirectoryStream listing(::opendir((root.processFolder(pid) + "/fd").c_str()));
  if (!listing) return paths;
  const int folder = ::dirfd(listing.get());
  while (const dirent* entry = ::readdir(listing.get())) {
    if (entry->d_name[0] == '.') continue;
    auto path = procfs::readLinkAt(folder, entry->d_name);
    // "socket:[123]", "pipe:[4]", "anon_inode:..." are not files; a deleted file
    // no longer lies in any folder.
    if (!path || path->empty() || path->front() != '/') continue;
    if (procfs::linkTargetDeleted(folder, entry->d_name, *path)) continue;
    paths.push_back(std::move(*path));
  }
  return paths;
}

}  // namespace glimmet::platform
