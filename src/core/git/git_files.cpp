// Reading git's own small files, bounded, without running git.
#include "core/git/git_files.h"

#include "core/util/ascii.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet::git {
namespace {

namespace fs = std::filesystem;

// .git files, commondir, gitdir and HEAD are a line or two; anything larger isn't git's.
constexpr size_t kMaxGitFileBytes = 64 * 1024;

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

GitFile readGitFile(const fs::path& path) {
  if (!platform::entryExists(path)) return {};
  return {true, platform::readFile(path, kMaxGitFileBytes)};
}

std::optional<std::string> gitDirLine(const std::string& text) {
  size_t start = 0;
  while (start <= text.size()) {
    const auto end = std::min(text.find('\n', start), text.size());
    const std::string_view line(text.data() + start, end - start);
    if (line.starts_with("gitdir:")) return std::string(asciiTrimmed(line.substr(7)));
    start = end + 1;
  }
  return std::nullopt;
}

fs::path resolvedFrom(const fs::path& base, const std::string& path) {
  const fs::path target = fs::path(path).is_absolute() ? fs::path(path) : base / path;
  return withoutTrailingSlash(target.lexically_normal().string());
}

std::optional<fs::path> linkedAdminFolder(const fs::path& dotGit) {
  const auto status = platform::linkStatus(dotGit);
  if (!status || status->kind != platform::FileStatus::Kind::file) return std::nullopt;
  const auto file = readGitFile(dotGit);
  if (!file.text) return std::nullopt;
  const auto line = gitDirLine(*file.text);
  if (!line || line->empty()) return std::nullopt;
  return resolvedFrom(dotGit.parent_path(), *line);
}

std::optional<fs::path> mainRepoOf(const fs::path& adminFolder) {
  const auto file = readGitFile(adminFolder / "commondir");
  if (!file.text) return std::nullopt;
  const std::string common(asciiTrimmed(*file.text));
  if (common.empty()) return std::nullopt;
  const auto folder = resolvedFrom(adminFolder, common);
  return folder.filename() == ".git" ? folder.parent_path() : folder;
}

}  // namespace glimmet::git
