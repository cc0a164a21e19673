// SignatureEngine: lookup and compilation.
#include "core/ghosts/signature_engine.h"

#include "core/settings/shared_files.h"
#include "core/util/ascii.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

// Far above any real signature file; a larger one is refused rather than read.
constexpr size_t kMaxSignatureFileBytes = 16 * 1024 * 1024;

std::vector<Regex> compileAll(const std::vector<std::string>& patterns) {
  std::vector<Regex> compiled;
  compiled.reserve(patterns.size());
  for (const auto& pattern : patterns)
    compiled.push_back(Regex::compile(pattern, /*caseInsensitive=*/true));
  return compiled;
}

std::vector<std::string> lowerAll(const std::vector<std::string>& names) {
  std::vector<std::string> lowered;
  lowered.reserve(names.size());
  for (const auto& name : names) lowered.push_back(asciiLower(name));
  return lowered;
}

}  // namespace

SignatureEngine SignatureEngine::fromJson(std::string_view bytes) {
  SignatureEngine engine;
  engine.set_ = SignatureSet::decode(bytes);
  const auto& set = engine.set_;
  for (const auto& root : set.agentRoots)
    engine.roots_.push_back({root, compileAll(root.argvPatterns), lowerAll(root.exeBasenames),
                             compileAll(root.helperArgvPatterns)});
  for (const auto& ghost : set.ghosts)
    engine.ghosts_.push_back({ghost, compileAll(ghost.patterns), compileAll(ghost.exePatterns)});
  for (const auto& server : set.devServers)
    engine.servers_.push_back({server, compileAll(server.patterns)});
  for (const auto& hint : set.pathHints)
    engine.pathHints_.push_back({hint, compileAll(hint.patterns)});
  return engine;
}

std::vector<std::filesystem::path> SignatureEngine::candidates(
    const Environment& environment, const std::filesystem::path& executable) {
  std::vector<std::filesystem::path> paths;
  if (auto override = environment.get(shared_files::signatureOverride);
      override && !override->empty())
    paths.emplace_back(*override);
  if (!executable.empty()) {
    const auto bundled =
        platform::dataFileCandidates(executable.parent_path(), shared_files::signatureFile);
    paths.insert(paths.end(), bundled.begin(), bundled.end());
  }
  return paths;
}

SignatureEngine SignatureEngine::load(const Environment& environment,
                                      const std::filesystem::path& executable) {
  for (const auto& candidate : candidates(environment, executable)) {
    if (!platform::targetStatus(candidate)) continue;
    const auto bytes = platform::readFile(candidate, kMaxSignatureFileBytes);
    if (!bytes) throw SignatureFileError("can't read " + candidate.string());
    try {
      return fromJson(*bytes);
    } catch (const RegexError& failure) {
      throw SignatureFileError(failure.what());
    }
  }
  throw SignatureFileError("no signature file");
}

}  // namespace glimmet
