#include "core/disk/worktree_index.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "core/git/git_files.h"
#include "core/util/ascii.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

// A main repository keeps a few worktrees; a hostile one could list thousands.
constexpr size_t kMaxWorktreesPerRepo = 4096;

fs::file_type typeOf(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type();
}

// What a worktree's own folder says: linked when its `.git` file names `adminPath`.
WorktreeIndex::Entry entryFor(const fs::path& folder, const fs::path& adminPath,
                              const fs::path& mainRepo) {
  WorktreeIndex::Entry entry;
  entry.path = folder.string();
  entry.adminPath = adminPath.string();
  entry.mainRepoPath = mainRepo.string();
  const auto type = typeOf(folder);
  entry.exists = type != fs::file_type::not_found && type != fs::file_type::none;
  if (type == fs::file_type::directory) {
    const auto named = git::linkedAdminFolder(folder / ".git");
    // By identity rather than by path: git writes real paths, and the home
    // folder may be reached through a symbolic link.
    std::error_code error;
    entry.linked = named && fs::equivalent(*named, adminPath, error);
  }
  return entry;
}

// The worktrees a main repository lists in .git/worktrees/*/gitdir.
void addListed(const fs::path& repo, std::map<std::string, WorktreeIndex::Entry>& found,
               std::set<std::string>& listed) {
  if (!listed.insert(repo.string()).second) return;  // every worktree of it leads here
  const auto admin = repo / ".git" / "worktrees";
  if (typeOf(admin) != fs::file_type::directory) return;
  std::error_code error;
  size_t count = 0;
  for (fs::directory_iterator it(admin, error), end; !error && it != end; it.increment(error)) {
    if (++count > kMaxWorktreesPerRepo) break;
    if (it->symlink_status(error).type() != fs::file_type::directory) continue;
    const auto gitdir = git::readGitFile(it->path() / "gitdir");
    if (!gitdir.text) continue;
    // gitdir holds the path of the worktree's `.git` file.
    const std::string line(
        asciiTrimmed(std::string_view(*gitdir.text).substr(0, gitdir.text->find('\n'))));
    if (line.empty()) continue;
    const auto dotGit = git::resolvedFrom(it->path(), line);
    if (dotGit.filename() != ".git") continue;
    const auto folder = dotGit.parent_path();
    found.try_emplace(folder.string(), entryFor(folder, it->path(), repo));
  }
}

}  // namespace

std::vector<WorktreeIndex::Entry> WorktreeIndex::build(const std::vector<std::string>& folders) {
  std::map<std::string, Entry> found;
  std::set<std::string> listed;
  for (const auto& folderText : folders) {
    const fs::path folder = fs::path(folderText).lexically_normal();
    const auto dotGit = folder / ".git";
    const auto type = typeOf(dotGit);
    if (type == fs::file_type::directory) {
      addListed(folder, found, listed);
    } else if (type == fs::file_type::regular) {
      const auto admin = git::linkedAdminFolder(dotGit);
      if (!admin) continue;
      const auto mainRepo = git::mainRepoOf(*admin);
      if (!mainRepo) continue;
      found.try_emplace(folder.string(), entryFor(folder, *admin, *mainRepo));
      addListed(*mainRepo, found, listed);  // its siblings, wherever they are
    }
  }
  std::vector<Entry> entries;
  entries.reserve(found.size());
  for (auto& [path, entry] : found) entries.push_back(std::move(entry));
  return entries;
}

}  // namespace glimmet
