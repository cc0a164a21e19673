// WorktreeIndex: git's worktree records read from both ends.
#include "core/disk/worktree_index.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "core/git/git_files.h"
#include "core/util/ascii.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using Kind = platform::FileStatus::Kind;

// A main repository keeps a few worktrees; a hostile one could list thousands.
constexpr size_t kMaxWorktreesPerRepo = 4096;

// What is at `path` itself; nothing when nothing is there or it can't be read.
std::optional<Kind> kindOf(const fs::path& path) {
  const auto status = platform::linkStatus(path);
  return status ? std::optional(status->kind) : std::nullopt;
}

// The same file, by device and inode, at the ends of both paths.
bool sameFile(const fs::path& a, const fs::path& b) {
  const auto first = platform::targetStatus(a);
  const auto second = platform::targetStatus(b);
  return first && second && first->device == second->device && first->inode == second->inode;
}

// What a worktree's own folder says: linked when its `.git` file names `adminPath`.
WorktreeIndex::Entry entryFor(const fs::path& folder, const fs::path& adminPath,
                              const fs::path& mainRepo) {
  WorktreeIndex::Entry entry;
  entry.path = folder.string();
  entry.adminPath = adminPath.string();
  entry.mainRepoPath = mainRepo.string();
  const auto kind = kindOf(folder);
  entry.exists = kind.has_value();
  if (kind == Kind::directory) {
    const auto named = git::linkedAdminFolder(folder / ".git");
    // By identity rather than by path: git writes real paths, and the home
    // folder may be reached through a symbolic link.
    entry.linked = named && sameFile(*named, adminPath);
  }
  return entry;
}

// The worktrees a main repository lists in .git/worktrees/*/gitdir.
void addListed(const fs::path& repo, std::map<std::string, WorktreeIndex::Entry>& found,
               std::set<std::string>& listed) {
  if (!listed.insert(repo.string()).second) return;  // every worktree of it leads here
  const auto admin = repo / ".git" / "worktrees";
  if (kindOf(admin) != Kind::directory) return;
  const auto listing = platform::listFolder(admin);
  if (!listing) return;
  size_t count = 0;
  for (const auto& record : *listing) {
    if (++count > kMaxWorktreesPerRepo) break;
    if (record.kind != Kind::directory) continue;
    const auto recordPath = admin / record.name;
    const auto gitdir = git::readGitFile(recordPath / "gitdir");
    if (!gitdir.text) continue;
    // gitdir holds the path of the worktree's `.git` file.
    const std::string line(
        asciiTrimmed(std::string_view(*gitdir.text).substr(0, gitdir.text->find('\n'))));
    if (line.empty()) continue;
    const auto dotGit = git::resolvedFrom(recordPath, line);
    if (dotGit.filename() != ".git") continue;
    const auto folder = dotGit.parent_path();
    found.try_emplace(folder.string(), entryFor(folder, recordPath, repo));
  }
}

}  // namespace

std::vector<WorktreeIndex::Entry> WorktreeIndex::build(const std::vector<std::string>& folders) {
  std::map<std::string, Entry> found;
  std::set<std::string> listed;
  for (const auto& folderText : folders) {
    const fs::path folder = fs::path(folderText).lexically_normal();
    const auto dotGit = folder / ".git";
    const auto kind = kindOf(dotGit);
    if (kind == Kind::directory) {
      addListed(folder, found, listed);
    } else if (kind == Kind::file) {
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
