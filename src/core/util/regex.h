// Compiled regular expressions (PCRE2), compiled once and matched many times.
// A pattern is first matched by PCRE2's interpreter; only one that is searched
// often enough to repay it is compiled to machine code, so a command that
// matches a few hundred command lines against a whole signature file doesn't
// spend its time generating code it barely runs.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

struct pcre2_real_code_8;

namespace glimmet {

class RegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Regex {
 public:
  /// Throws RegexError with PCRE2's description when `pattern` doesn't compile.
  static Regex compile(std::string_view pattern, bool caseInsensitive);

  /// Whether the pattern matches anywhere in `text`.
  bool search(std::string_view text) const { return find(text, 0).has_value(); }
  /// The first match at or after `offset`, as [begin, end) byte offsets.
  std::optional<std::pair<size_t, size_t>> find(std::string_view text, size_t offset) const;

  const std::string& pattern() const { return pattern_; }

 private:
  struct Compiled;
  Regex(std::string pattern, std::shared_ptr<Compiled> code)
      : pattern_(std::move(pattern)), code_(std::move(code)) {}
  std::string pattern_;
  std::shared_ptr<Compiled> code_;
};

}  // namespace glimmet
