// The signature file compiled for matching: every pattern compiled once,
// case-insensitively, in file order. Built once per command, immutable after.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/ghosts/signature_set.h"
#include "core/process/process_record.h"
#include "core/util/regex.h"
#include "platform/environment.h"

namespace glimmet {

/// The agent, IDE or terminal a process is.
struct AgentRootMatch {
  std::string id;
  std::string agent;
  SignatureSet::AgentRoot::Kind kind = SignatureSet::AgentRoot::Kind::agent;
  bool operator==(const AgentRootMatch&) const = default;
};

/// What an agent-root entry says of a process: the program itself (a root), or one
/// of its own helpers and daemons, which never start a session.
struct AgentEntryMatch {
  AgentRootMatch entry;
  bool isHelper = false;
  bool operator==(const AgentEntryMatch&) const = default;
};

/// The known kind of leftover a process is.
struct GhostSignatureMatch {
  std::string id;
  std::string label;
  bool requiresGhostAncestor = false;
  bool operator==(const GhostSignatureMatch&) const = default;
};

/// What matching reads of a process. Arguments are absent when they could not
/// be read (another user's process), which is not the same as empty.
struct MatchInput {
  std::string_view name;
  std::optional<std::string_view> path;
  std::optional<std::span<const std::string>> arguments;
  /// The script an interpreter runs, already resolved (the snapshot does that).
  std::optional<std::string_view> script;

  /// A snapshot record: an empty argument vector there means it couldn't be read.
  static MatchInput of(const ProcessRecord& record);
};

template <typename Entry>
struct CompiledEntry {
  Entry value;
  std::vector<Regex> regexes;
};

struct CompiledRoot {
  SignatureSet::AgentRoot value;
  std::vector<Regex> regexes;
  std::vector<std::string> lowerBasenames;  ///< compared with lower-cased names
  std::vector<Regex> helperRegexes;
};

struct CompiledGhost {
  SignatureSet::Ghost value;
  std::vector<Regex> regexes;
  std::vector<Regex> exeRegexes;
};

class SignatureEngine {
 public:
  /// Decodes and compiles; throws SignatureFileError, or RegexError naming the
  /// first pattern that doesn't compile.
  static SignatureEngine fromJson(std::string_view bytes);

  /// Every pattern of `set`, in the order the engine holds them compiled.
  static std::vector<std::string_view> patternsOf(const SignatureSet& set);
  /// The engine of `set` with its patterns already compiled, in the order of
  /// patternsOf (a cache's). Throws SignatureFileError when the count differs.
  static SignatureEngine assemble(SignatureSet set, std::vector<Regex> regexes);
  /// The compiled patterns in the order of patternsOf.
  std::vector<const Regex*> regexes() const;

  /// Finds the file (the GLIMMET_SIGNATURES override, then beside the tool) and
  /// loads it. The first candidate that exists is the one used, even when it
  /// fails to load. Throws SignatureFileError when none exists or loading fails.
  /// A file that loaded once before loads from its compiled form among the
  /// tool's caches (see signature_cache.h).
  static SignatureEngine load(const Environment& environment,
                              const std::filesystem::path& executable);

  /// The candidates in the order they are tried.
  static std::vector<std::filesystem::path> candidates(const Environment& environment,
                                                       const std::filesystem::path& executable);

  // Matching: entries are tried in file order and the first match wins. A pattern
  // matches when it is found anywhere in the text.
  //
  // An interpreter ("node /usr/local/bin/gemini") is matched by the script it runs as
  // well: the script's name as written and as resolved count as names, and the
  // resolved path is tried by exePathContains and argvPatterns.
  std::optional<AgentEntryMatch> agentEntry(const MatchInput& process) const;
  /// The agent, IDE or terminal the process is; nothing for a helper.
  std::optional<AgentRootMatch> agentRoot(const MatchInput& process) const;
  /// The program whose helper or daemon the process is.
  std::optional<AgentRootMatch> agentHelper(const MatchInput& process) const;
  std::optional<GhostSignatureMatch> ghostSignature(const MatchInput& process) const;
  /// The `framework` of the first dev-server entry that matches.
  std::optional<std::string> framework(const MatchInput& process) const;
  /// The agent that a process's environment entries (NAME=value) point to.
  std::optional<std::string> agentFromEnvironment(
      const std::optional<std::vector<std::string>>& environment) const;
  /// The agent that its command line or working folder points to.
  std::optional<std::string> agentFromPaths(
      const std::optional<std::vector<std::string>>& arguments,
      const std::optional<std::string>& workingDirectory) const;

  /// The arguments joined with single spaces; the name alone when they are unknown.
  static std::string matchingText(const MatchInput& process);

  const SignatureSet& set() const { return set_; }
  const std::vector<CompiledRoot>& roots() const { return roots_; }
  const std::vector<CompiledGhost>& ghosts() const { return ghosts_; }
  const std::vector<CompiledEntry<SignatureSet::DevServer>>& servers() const { return servers_; }
  const std::vector<CompiledEntry<SignatureSet::PathHint>>& pathHints() const { return pathHints_; }

 private:
  SignatureSet set_;
  std::vector<CompiledRoot> roots_;
  std::vector<CompiledGhost> ghosts_;
  std::vector<CompiledEntry<SignatureSet::DevServer>> servers_;
  std::vector<CompiledEntry<SignatureSet::PathHint>> pathHints_;
};

/// What commands print when the signatures can't be loaded.
inline constexpr const char* kSignaturesMissingMessage =
    "Couldn't find Glimmet's signatures. Glimmet looks for signatures.json in share/glimmet "
    "beside the folder of its binary; set GLIMMET_SIGNATURES to use another file.";

}  // namespace glimmet
