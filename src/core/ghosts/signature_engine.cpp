// SignatureEngine: lookup and compilation.
#include "core/ghosts/signature_engine.h"

#include "core/ghosts/signature_cache.h"
#include "core/settings/shared_files.h"
#include "core/util/ascii.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

// Far above any real signature file; a larger one is refused rather than read.
constexpr size_t kMaxSignatureFileBytes = 16 * 1024 * 1024;
constexpr std::string_view kCacheFile = "signatures.cache";

std::vector<std::string> lowerAll(const std::vector<std::string>& names) {
  std::vector<std::string> lowered;
  lowered.reserve(names.size());
  for (const auto& name : names) lowered.push_back(asciiLower(name));
  return lowered;
}

// Hands out compiled patterns in the order of patternsOf.
class RegexQueue {
 public:
  explicit RegexQueue(std::vector<Regex> regexes) : regexes_(std::move(regexes)) {}
  std::vector<Regex> take(std::size_t count) {
    if (count > regexes_.size() - next_) throw SignatureFileError("too few compiled patterns");
    const auto first = regexes_.begin() + static_cast<std::ptrdiff_t>(next_);
    next_ += count;
    return {std::make_move_iterator(first),
            std::make_move_iterator(first + static_cast<std::ptrdiff_t>(count))};
  }
  bool empty() const { return next_ == regexes_.size(); }

 private:
  std::vector<Regex> regexes_;
  std::size_t next_ = 0;
};

template <typename List>
void appendAll(std::vector<std::string_view>& out, const List& patterns) {
  out.insert(out.end(), patterns.begin(), patterns.end());
}

template <typename List>
void appendAll(std::vector<const Regex*>& out, const List& regexes) {
  for (const auto& regex : regexes) out.push_back(&regex);
}

}  // namespace

std::vector<std::string_view> SignatureEngine::patternsOf(const SignatureSet& set) {
  std::vector<std::string_view> patterns;
  for (const auto& root : set.agentRoots) {
    appendAll(patterns, root.argvPatterns);
    appendAll(patterns, root.helperArgvPatterns);
  }
  for (const auto& ghost : set.ghosts) {
    appendAll(patterns, ghost.patterns);
    appendAll(patterns, ghost.exePatterns);
  }
  for (const auto& server : set.devServers) appendAll(patterns, server.patterns);
  for (const auto& hint : set.pathHints) appendAll(patterns, hint.patterns);
  return patterns;
}

std::vector<const Regex*> SignatureEngine::regexes() const {
  std::vector<const Regex*> regexes;
  for (const auto& root : roots_) {
    appendAll(regexes, root.regexes);
    appendAll(regexes, root.helperRegexes);
  }
  for (const auto& ghost : ghosts_) {
    appendAll(regexes, ghost.regexes);
    appendAll(regexes, ghost.exeRegexes);
  }
  for (const auto& server : servers_) appendAll(regexes, server.regexes);
  for (const auto& hint : pathHints_) appendAll(regexes, hint.regexes);
  return regexes;
}

SignatureEngine SignatureEngine::assemble(SignatureSet set, std::vector<Regex> regexes) {
  SignatureEngine engine;
  engine.set_ = std::move(set);
  RegexQueue queue(std::move(regexes));
  for (const auto& root : engine.set_.agentRoots) {
    auto argv = queue.take(root.argvPatterns.size());
    engine.roots_.push_back({root, std::move(argv), lowerAll(root.exeBasenames),
                             queue.take(root.helperArgvPatterns.size())});
  }
  for (const auto& ghost : engine.set_.ghosts) {
    auto patterns = queue.take(ghost.patterns.size());
    engine.ghosts_.push_back({ghost, std::move(patterns), queue.take(ghost.exePatterns.size())});
  }
  for (const auto& server : engine.set_.devServers)
    engine.servers_.push_back({server, queue.take(server.patterns.size())});
  for (const auto& hint : engine.set_.pathHints)
    engine.pathHints_.push_back({hint, queue.take(hint.patterns.size())});
  if (!queue.empty()) throw SignatureFileError("too many compiled patterns");
  return engine;
}

SignatureEngine SignatureEngine::fromJson(std::string_view bytes) {
  auto set = SignatureSet::decode(bytes);
  std::vector<Regex> regexes;
  for (const auto pattern : patternsOf(set))
    regexes.push_back(Regex::compile(pattern, /*caseInsensitive=*/true));
  return assemble(std::move(set), std::move(regexes));
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
    const auto cache = platform::toolCacheDir(environment) / kCacheFile;
    if (auto cached = signature_cache::read(cache, *bytes)) return std::move(*cached);
    try {
      auto engine = fromJson(*bytes);
      signature_cache::write(cache, *bytes, engine);
      return engine;
    } catch (const RegexError& failure) {
      throw SignatureFileError(failure.what());
    }
  }
  throw SignatureFileError("no signature file");
}

}  // namespace glimmet
