// Linux locations: XDG folders, /proc/self/exe, and the <prefix>/share layout.
#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <system_error>
#include <vector>

namespace glimmet::platform {
namespace fs = std::filesystem;

// No permission prompt guards Desktop, Documents or Downloads on Linux, so
// repositories there are read like any other.
std::vector<fs::path> consentFolders(const fs::path&) {
  return {};
}

fs::path homeDir(const Environment& env) {
  if (auto home = env.absolutePath("HOME")) return *home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_dir != nullptr)
    return result->pw_dir;
  return "/";
}

fs::path sharedDataDir(const Environment& env) {
  // A relative XDG_DATA_HOME is ignored, as the XDG rules say.
  if (auto dataHome = env.absolutePath("XDG_DATA_HOME")) return fs::path(*dataHome) / "Glimmet";
  return homeDir(env) / ".local" / "share" / "Glimmet";
}

fs::path toolCacheDir(const Environment& env) {
  if (auto cacheHome = env.absolutePath("XDG_CACHE_HOME")) return fs::path(*cacheHome) / "glimmet";
  return homeDir(env) / ".cache" / "glimmet";
}

fs::path ownExecutable() {
  std::error_code error;
  auto path = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  auto resolved = fs::weakly_canonical(path, error);
  return error ? path : resolved;
}

std::vector<fs::path> dataFileCandidates(const fs::path& exeDir, std::string_view name) {
  return {
      exeDir / ".." / "Resources" / name,
      exeDir / "Glimmet.app" / "Contents" / "Resources" / name,
      exeDir / ".." / "share" / "glimmet" / name,
  };
}

fs::path toolLinkPath(const Environment& env) {
  // Debian's /etc/skel/.profile puts ~/.local/bin on PATH only when it exists.
  const auto localBin = homeDir(env) / ".local" / "bin";
  std::error_code error;
  if (fs::is_directory(localBin, error)) return localBin / "glimmet";
  return fs::path("/usr/local/bin") / "glimmet";
}

bool isOwnInstallTarget(const fs::path& linkTarget) {
  // Another install of ours: <prefix>/bin/glimmet with <prefix>/share/glimmet beside it.
  if (linkTarget.filename() != "glimmet" || linkTarget.parent_path().filename() != "bin")
    return false;
  std::error_code error;
  return fs::exists(linkTarget.parent_path() / ".." / "share" / "glimmet" / "signatures.json",
                    error);
}

}  // namespace glimmet::platform
