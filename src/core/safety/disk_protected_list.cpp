// DiskProtectedList: the ordered protection rules.
#include "core/safety/disk_protected_list.h"

#include "core/disk/disk_paths.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

// macOS system folders first, then the Linux ones: one list serves both.
constexpr const char* kSystemFolders[] = {
    "/System", "/Applications", "/Library", "/usr", "/bin",  "/sbin", "/private/etc", "/opt",
    "/etc",    "/proc",         "/sys",     "/dev", "/boot", "/run",  "/lib",         "/lib32",
    "/lib64",  "/libx32",       "/var",     "/srv", "/snap", "/nix",  "/gnu"};

// Below the home folder: keys, credentials and settings.
constexpr const char* kKeyFolders[] = {".ssh",
                                       ".gnupg",
                                       ".aws",
                                       ".config/gh",
                                       ".docker/config.json",
                                       "Library/Keychains",
                                       "Library/Application Support/Glimmet",
                                       ".local/share/Glimmet",
                                       ".local/share/keyrings",
                                       ".password-store",
                                       ".pki",
                                       ".kube",
                                       ".config/gcloud",
                                       ".azure",
                                       ".git-credentials",
                                       ".netrc"};

std::string expandHome(const std::string& path, const std::string& home) {
  if (path == "~") return home;
  if (path.starts_with("~/")) return home + path.substr(1);
  return path;
}

bool related(const std::string& a, const std::string& b) {
  return disk_path::isWithin(a, b) || disk_path::isWithin(b, a);
}

bool isLink(const std::string& path) {
  int error = 0;
  const auto status = platform::lstatPath(path, error);
  return status && status->kind == platform::FileStatus::Kind::symlink;
}

}  // namespace

DiskProtectedList::DiskProtectedList(std::string home, std::vector<std::string> protectedPaths,
                                     std::vector<std::string> settingsFolders,
                                     std::vector<std::string> trashRoots)
    : home_(disk_path::normal(home)) {
  for (const auto& path : protectedPaths) {
    const auto expanded = expandHome(path, home_);
    if (!expanded.empty() && expanded.front() == '/')
      userPaths_.push_back(disk_path::normal(expanded));
  }
  for (const char* relative : kKeyFolders) keyPaths_.push_back(home_ + "/" + relative);
  for (const auto& folder : settingsFolders) keyPaths_.push_back(disk_path::normal(folder));
  for (const auto& root : trashRoots) trashRoots_.push_back(disk_path::normal(root));
}

std::optional<std::string> DiskProtectedList::check(const std::string& rawPath, bool containsGit,
                                                    bool worktreeAction, RealFolders* seen) const {
  if (rawPath.empty() || rawPath.front() != '/') return "Protected: not a folder Glimmet cleans";
  const std::string path = disk_path::normal(rawPath);
  if (path == "/") return "Protected: not a folder Glimmet cleans";
  for (const auto& trash : trashRoots_)
    if (disk_path::isWithin(path, trash)) return "Protected: not a folder Glimmet cleans";
  if (disk_path::isWithin(home_, path)) return "Protected: your home folder";
  const bool inHome = disk_path::isWithin(path, home_);
  // Homes may themselves live below a system folder (/var/home on some systems).
  if (!inHome)
    for (const char* folder : kSystemFolders)
      if (disk_path::isWithin(path, folder)) return "Protected: a system folder";
  for (const auto& keys : keyPaths_)
    if (related(path, keys)) return "Protected: holds keys or settings";
  for (const auto& mine : userPaths_)
    if (related(path, mine)) return "Protected by you";
  // `path` is normal and absolute here, so a `.git` component sits between
  // slashes or at the end.
  if (path.find("/.git/") != std::string::npos || path.ends_with("/.git"))
    return "Protected: a git folder";
  // Folders on the way: below the home folder only, since the home folder itself
  // may legitimately be reached through a link (/home -> /var/home).
  const size_t from = inHome ? home_.size() : 0;
  for (size_t slash = path.find('/', from + 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    auto folder = path.substr(0, slash);
    if (seen && seen->count(folder)) continue;
    if (isLink(folder)) return "Protected: reached through a symlink";
    if (seen) seen->insert(std::move(folder));
  }
  if (isLink(path)) return "Protected: a symlink";
  if (containsGit && !worktreeAction)
    return "Holds a git repo. Glimmet only removes worktrees with git worktree remove.";
  return std::nullopt;
}

}  // namespace glimmet
