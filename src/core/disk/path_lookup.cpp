#include "core/disk/path_lookup.h"

#include "core/disk/disk_paths.h"
#include "core/util/ascii.h"
#include "platform/system_error.h"
#include "platform/tree_walk.h"

namespace glimmet {
namespace {

constexpr PathLookup kLookups[] = {PathLookup::pnpmStorePath, PathLookup::goEnvGomodcache,
                                   PathLookup::uvCacheDir, PathLookup::npmConfigCache};

}  // namespace

ToolQuery toolQuery(PathLookup lookup) {
  switch (lookup) {
    case PathLookup::pnpmStorePath:
      return {"pnpm",
              {"store", "path"},
              {},
              {"{XDG_DATA_HOME}/pnpm", "{XDG_CONFIG_HOME}/pnpm", "~/Library/pnpm", "~/.npmrc"},
              {"PNPM_HOME", "npm_config_store_dir", "NPM_CONFIG_STORE_DIR"}};
    case PathLookup::goEnvGomodcache:
      return {"go",
              {"env", "GOMODCACHE"},
              {},
              {"{GOMODCACHE}", "~/go", "{XDG_CONFIG_HOME}/go", "~/Library/Application Support/go"},
              {"GOMODCACHE", "GOPATH", "GOENV"}};
    case PathLookup::uvCacheDir:
      return {"uv",
              {"cache", "dir"},
              {},
              {"{XDG_CACHE_HOME}/uv", "~/Library/Caches/uv", "{XDG_CONFIG_HOME}/uv",
               "{XDG_DATA_HOME}/uv"},
              {"UV_CACHE_DIR"}};
    case PathLookup::npmConfigCache:
      return {"npm",
              {"config", "get", "cache"},
              "_cacache",
              {"~/.npm", "~/.npmrc"},
              {"npm_config_cache", "NPM_CONFIG_CACHE", "npm_config_userconfig",
               "NPM_CONFIG_USERCONFIG"}};
  }
  return {};
}

std::optional<std::string> folderFromQueryOutput(const std::vector<std::string>& lines) {
  if (lines.empty()) return std::nullopt;
  const std::string_view line = asciiTrimmed(lines.front());
  if (line.empty() || line.front() != '/' || line.find('\0') != std::string_view::npos)
    return std::nullopt;
  return std::string(line);
}

std::vector<std::string> PathLookupRunner::programs() {
  std::vector<std::string> names;
  for (const auto lookup : kLookups) names.push_back(toolQuery(lookup).program);
  return names;
}

bool PathLookupRunner::shouldAsk(PathLookup lookup) const {
  const auto query = toolQuery(lookup);
  for (const auto& name : query.variables)
    if (const auto value = environment_.get(name); value && !value->empty()) return true;
  const DiskPaths paths(workingFolder_, environment_);
  for (const auto& trace : query.traces) {
    int error = 0;
    if (platform::lstatPath(paths.expand(trace), error)) return true;
  }
  return false;
}

std::optional<std::string> PathLookupRunner::lookup(PathLookup lookup) const {
  const auto query = toolQuery(lookup);
  const auto program = locator_.locate(query.program);
  if (!program) return std::nullopt;
  std::vector<std::string> argv = {*program};
  argv.insert(argv.end(), query.arguments.begin(), query.arguments.end());

  // Only the first line matters; the rest is read and dropped.
  std::vector<std::string> lines;
  try {
    auto process = launcher_.spawn(argv, workingFolder_, &environment_);
    const auto exit = launcher_.wait(process, POSIXLauncher::Clock::now() + kQueryTimeLimit,
                                     [&](const std::string& line) {
                                       if (lines.empty()) lines.push_back(line);
                                     });
    if (exit.kind != ProcessExit::Kind::exited || exit.code != 0) return std::nullopt;
  } catch (const platform::SystemError&) {
    return std::nullopt;
  }
  auto folder = folderFromQueryOutput(lines);
  if (!folder) return std::nullopt;
  if (!query.subfolder.empty()) *folder += (folder->back() == '/' ? "" : "/") + query.subfolder;
  return folder;
}

}  // namespace glimmet
