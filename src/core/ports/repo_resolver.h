// The git repository, worktree and branch of a dev server's working folder, read
// from the repository's own files (no git process), cached for a few seconds
// and revalidated by the HEAD file's modification time.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace glimmet {

struct RepoInfo {
  std::string repoName;                     ///< last component of the main repository's folder
  std::string mainRepoPath;                 ///< the main repository's folder
  std::optional<std::string> worktreeName;  ///< for a linked worktree
  std::optional<std::string> branch;
  std::optional<std::string> detachedSHA;  ///< first 7 characters of a detached head
  std::string workTreePath;

  /// The branch, or else the detached commit.
  std::optional<std::string> headText() const { return branch ? branch : detachedSHA; }
  /// The worktree's name, or else the repository's.
  const std::string& projectName() const { return worktreeName ? *worktreeName : repoName; }
  bool operator==(const RepoInfo&) const = default;
};

struct RepoStatus {
  enum class Kind { repo, noRepo, accessDenied, needsConsent };
  Kind kind = Kind::noRepo;
  std::optional<RepoInfo> info;  ///< set exactly when kind is repo

  static RepoStatus of(Kind kind) { return {kind, std::nullopt}; }
  bool operator==(const RepoStatus&) const = default;
};

/// A path with a leading "~" expanded against `home`, "." and ".." components
/// removed, and no trailing slash.
std::string standardizedPath(const std::string& path, const std::filesystem::path& home);

/// One per command run; not shared between threads.
class RepoResolver {
 public:
  using Clock = std::chrono::system_clock;

  RepoResolver(std::filesystem::path home, bool mayReadProtectedFolders,
               std::vector<std::filesystem::path> protectedRoots);

  RepoStatus resolve(const std::string& path, Clock::time_point now);

 private:
  struct CacheEntry {
    RepoStatus status;
    std::filesystem::path headPath;
    std::optional<std::filesystem::file_time_type> headModified;
    Clock::time_point resolvedAt;
  };

  bool isInsideProtectedRoot(const std::string& path) const;

  std::filesystem::path home_;
  bool mayReadProtectedFolders_;
  std::vector<std::string> protectedRoots_;
  std::unordered_map<std::string, CacheEntry> cache_;
};

}  // namespace glimmet
