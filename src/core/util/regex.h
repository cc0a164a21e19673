// Compiled regular expressions (PCRE2), compiled once and matched many times.
// A pattern is first matched by PCRE2's interpreter; only one that is searched
// often enough to repay it is compiled to machine code, so a command that
// matches a few hundred command lines against a whole signature file doesn't
// spend its time generating code it barely runs. Before either, a search looks
// for the literal words every match must contain: most texts lack them.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct pcre2_real_code_8;

namespace glimmet {

class RegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A text to search with many patterns: its lower-cased copy, against which
/// the patterns' required literals are looked for, is made once, on first need.
class RegexSubject {
 public:
  explicit RegexSubject(std::string_view text) : text_(text) {}
  std::string_view text() const { return text_; }
  std::string_view lowered() const;

 private:
  std::string_view text_;
  mutable std::optional<std::string> lowered_;
};

class Regex {
 public:
  /// Throws RegexError with PCRE2's description when `pattern` doesn't compile.
  static Regex compile(std::string_view pattern, bool caseInsensitive);

  /// Whether the pattern matches anywhere in `text`. A text that lacks one of
  /// the literals every match contains is answered without the regex engine.
  bool search(const RegexSubject& subject) const;
  bool search(std::string_view text) const { return search(RegexSubject(text)); }
  /// The first match at or after `offset`, as [begin, end) byte offsets.
  std::optional<std::pair<size_t, size_t>> find(std::string_view text, size_t offset) const;

  const std::string& pattern() const { return pattern_; }

  /// The compiled codes of `regexes` as bytes, for a cache: only the same PCRE2
  /// build reads them back.
  static std::string serialize(const std::vector<const Regex*>& regexes);
  /// The regexes of `patterns` from their serialized codes, in order. Throws
  /// RegexError when the bytes are not codes of this PCRE2 build or their
  /// number differs. The bytes themselves are trusted: the caller checks
  /// that they are whole.
  static std::vector<Regex> deserialize(std::string_view bytes,
                                        const std::vector<std::string_view>& patterns);

 private:
  struct Compiled;
  Regex(std::string pattern, std::shared_ptr<Compiled> code, std::vector<std::string> literals)
      : pattern_(std::move(pattern)), code_(std::move(code)), literals_(std::move(literals)) {}
  std::string pattern_;
  std::shared_ptr<Compiled> code_;
  std::vector<std::string> literals_;  ///< lower-cased, longest first
};

}  // namespace glimmet
