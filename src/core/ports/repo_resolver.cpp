#include "core/ports/repo_resolver.h"

#include "core/git/git_files.h"
#include "core/util/ascii.h"
#include "platform/file_system.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

constexpr auto kCacheLifetime = std::chrono::seconds(10);

std::string lastComponent(const fs::path& path) {
  return path.filename().string();
}

std::optional<fs::file_time_type> modifiedAt(const fs::path& path) {
  const auto status = platform::targetStatus(path);
  if (!status) return std::nullopt;
  const auto sinceEpoch = std::chrono::seconds(status->modified.tv_sec) +
                          std::chrono::nanoseconds(status->modified.tv_nsec);
  return fs::file_time_type::clock::from_sys(
      std::chrono::sys_time<std::chrono::nanoseconds>(sinceEpoch));
}

// Where the repository files are once its .git entry was found.
struct Layout {
  fs::path gitDir;
  fs::path workTree;
  fs::path mainRepo;
  std::optional<std::string> worktreeName;
};

// The head: a branch, a detached commit, or neither (another ref, or empty).
void readHead(const std::string& head, RepoInfo& info) {
  const std::string text(asciiTrimmed(head));
  if (text.starts_with("ref:")) {
    const std::string ref(asciiTrimmed(std::string_view(text).substr(4)));
    if (ref.starts_with("refs/heads/") && ref.size() > 11) info.branch = ref.substr(11);
  } else if (!text.empty()) {
    info.detachedSHA = text.substr(0, 7);
  }
}

}  // namespace

std::string standardizedPath(const std::string& path, const fs::path& home) {
  std::string expanded = path;
  if (path == "~" || path.starts_with("~/")) expanded = home.string() + path.substr(1);
  std::string normal = fs::path(expanded).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

RepoResolver::RepoResolver(fs::path home, bool mayReadProtectedFolders,
                           std::vector<fs::path> protectedRoots)
    : home_(std::move(home)), mayReadProtectedFolders_(mayReadProtectedFolders) {
  for (const auto& root : protectedRoots)
    protectedRoots_.push_back(standardizedPath(root.string(), home_));
}

bool RepoResolver::isInsideProtectedRoot(const std::string& path) const {
  for (const auto& root : protectedRoots_)
    if (path == root || path.starts_with(root + "/")) return true;
  return false;
}

RepoStatus RepoResolver::resolve(const std::string& rawPath, Clock::time_point now) {
  const std::string path = standardizedPath(rawPath, home_);
  if (!mayReadProtectedFolders_ && isInsideProtectedRoot(path))
    return RepoStatus::of(RepoStatus::Kind::needsConsent);
  if (const auto cached = cache_.find(path); cached != cache_.end()) {
    const auto& entry = cached->second;
    if (now - entry.resolvedAt < kCacheLifetime &&
        (entry.headPath.empty() || modifiedAt(entry.headPath) == entry.headModified))
      return entry.status;
  }

  const auto remember = [&](RepoStatus status, const fs::path& headPath = {}) {
    cache_[path] = {status, headPath, headPath.empty() ? std::nullopt : modifiedAt(headPath), now};
    return status;
  };

  std::optional<Layout> layout;
  for (fs::path folder = path; !layout; folder = folder.parent_path()) {
    const fs::path dotGit = folder / ".git";
    const auto status = platform::linkStatus(dotGit);
    const auto kind = status ? status->kind : platform::FileStatus::Kind::other;
    if (kind == platform::FileStatus::Kind::directory) {
      layout = Layout{dotGit, folder, folder, std::nullopt};
    } else if (kind == platform::FileStatus::Kind::file) {
      const auto file = git::readGitFile(dotGit);
      if (!file.text) return remember(RepoStatus::of(RepoStatus::Kind::accessDenied));
      const auto gitDir = git::gitDirLine(*file.text);
      if (!gitDir || gitDir->empty()) return remember(RepoStatus::of(RepoStatus::Kind::noRepo));
      const auto adminFolder = git::resolvedFrom(folder, *gitDir);
      Layout linked{adminFolder, folder, folder, lastComponent(folder)};
      if (const auto mainRepo = git::mainRepoOf(adminFolder)) linked.mainRepo = *mainRepo;
      layout = linked;
    }
    if (!layout && (folder == folder.parent_path() || folder.empty()))
      return remember(RepoStatus::of(RepoStatus::Kind::noRepo));
  }

  RepoInfo info;
  info.mainRepoPath = layout->mainRepo.string();
  info.repoName = lastComponent(layout->mainRepo);
  info.worktreeName = layout->worktreeName;
  info.workTreePath = layout->workTree.string();
  const fs::path headPath = layout->gitDir / "HEAD";
  const auto head = git::readGitFile(headPath);
  if (head.present && !head.text)
    return remember(RepoStatus::of(RepoStatus::Kind::accessDenied), headPath);
  // A missing HEAD (a worktree whose git folder is gone) is still the repository,
  // only without a branch.
  if (head.text) readHead(*head.text, info);
  return remember({RepoStatus::Kind::repo, info}, headPath);
}

}  // namespace glimmet
