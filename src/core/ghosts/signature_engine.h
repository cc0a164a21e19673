// The signature file compiled for matching: every pattern compiled once,
// case-insensitively, in file order. Built once per command, immutable after.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/ghosts/signature_set.h"
#include "core/util/environment.h"
#include "core/util/regex.h"

namespace glimmet {

template <typename Entry>
struct CompiledEntry {
  Entry value;
  std::vector<Regex> regexes;
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

  /// Finds the file (the GLIMMET_SIGNATURES override, then beside the tool) and
  /// loads it. The first candidate that exists is the one used, even when it
  /// fails to load. Throws SignatureFileError when none exists or loading fails.
  static SignatureEngine load(const Environment& environment,
                              const std::filesystem::path& executable);

  /// The candidates in the order they are tried.
  static std::vector<std::filesystem::path> candidates(const Environment& environment,
                                                       const std::filesystem::path& executable);

  const SignatureSet& set() const { return set_; }
  const std::vector<CompiledEntry<SignatureSet::AgentRoot>>& roots() const { return roots_; }
  const std::vector<CompiledGhost>& ghosts() const { return ghosts_; }
  const std::vector<CompiledEntry<SignatureSet::DevServer>>& servers() const { return servers_; }
  const std::vector<CompiledEntry<SignatureSet::PathHint>>& pathHints() const { return pathHints_; }

 private:
  SignatureSet set_;
  std::vector<CompiledEntry<SignatureSet::AgentRoot>> roots_;
  std::vector<CompiledGhost> ghosts_;
  std::vector<CompiledEntry<SignatureSet::DevServer>> servers_;
  std::vector<CompiledEntry<SignatureSet::PathHint>> pathHints_;
};

/// What commands print when the signatures can't be loaded.
inline constexpr const char* kSignaturesMissingMessage =
    "Couldn't find Glimmet's signatures. Run glimmet from inside Glimmet.app.";

}  // namespace glimmet
