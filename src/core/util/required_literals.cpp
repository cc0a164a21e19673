// A reader of just enough PCRE2 syntax to find the literal runs that every
// match must contain: the top level of a pattern without alternatives, where
// each unquantified literal character is matched exactly once, in order.
// Groups and classes are stepped over whole (what they hold may be optional),
// and any syntax not followed here gives up on the pattern.
#include "core/util/required_literals.h"

#include <algorithm>
#include <optional>

#include "core/util/ascii.h"

namespace glimmet {
namespace {

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isAsciiAlphanumeric(char c) {
  return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

// Escapes of a letter that stand for one position, class or control
// character and take no argument. Any other letter or digit escape (\x41,
// \p{L}, \1, \Q...) gives up, as its argument would read as literals.
bool isPlainEscape(char c) {
  return std::string_view("bBdDsSwWhHvVRXAzZGKtnrfea").find(c) != std::string_view::npos;
}

// Syntax that changes how the rest of the pattern reads: quoting, comments,
// start-of-pattern verbs (UTF mode folds more than ASCII), and extended mode,
// where spaces are not literal.
bool changesReading(std::string_view pattern) {
  if (pattern.find("\\Q") != std::string_view::npos ||
      pattern.find("\\E") != std::string_view::npos ||
      pattern.find("(*") != std::string_view::npos || pattern.find("(?#") != std::string_view::npos)
    return true;
  for (auto at = pattern.find("(?"); at != std::string_view::npos;
       at = pattern.find("(?", at + 2)) {
    auto end = at + 2;
    while (end < pattern.size() &&
           (isAsciiLetter(pattern[end]) || pattern[end] == '^' || pattern[end] == '-'))
      ++end;
    const auto flags = pattern.substr(at + 2, end - at - 2);
    if (end < pattern.size() && (pattern[end] == ')' || pattern[end] == ':') &&
        flags.find('x') != std::string_view::npos)
      return true;
  }
  return false;
}

class LiteralReader {
 public:
  explicit LiteralReader(std::string_view pattern) : pattern_(pattern) {}

  /// The literals, or nothing when the pattern can't be read with certainty.
  std::optional<std::vector<std::string>> read() {
    while (at_ < pattern_.size()) {
      const char c = pattern_[at_];
      switch (c) {
        case '\\': {
          if (at_ + 1 >= pattern_.size()) return std::nullopt;
          const char escaped = pattern_[at_ + 1];
          at_ += 2;
          if (!isAsciiAlphanumeric(escaped)) {
            literal(escaped);  // escaped punctuation stands for itself
          } else if (isPlainEscape(escaped)) {
            other();
          } else {
            return std::nullopt;
          }
          break;
        }
        case '[':
          if (!skipClass()) return std::nullopt;
          other();
          break;
        case '(':
          if (!skipGroup()) return std::nullopt;
          other();
          break;
        case '|':  // a top-level alternative: no one text is required
        case ')':
          return std::nullopt;
        case '.':
        case '^':
        case '$':
          ++at_;
          other();
          break;
        case '?':
        case '*':
        case '+':
          ++at_;
          quantified();
          break;
        case '{':
          if (!skipCounts()) return std::nullopt;
          quantified();
          break;
        default:
          literal(c);
          ++at_;
      }
    }
    endRun();
    return std::move(literals_);
  }

 private:
  void literal(char c) {
    run_.push_back(c);
    lastWasLiteral_ = true;
  }

  // Any atom other than a literal character ends the current run.
  void other() {
    endRun();
    lastWasLiteral_ = false;
  }

  void endRun() {
    if (!run_.empty()) literals_.push_back(asciiLower(run_));
    run_.clear();
  }

  // A quantifier makes the atom before it optional or repeated: a literal
  // character under one leaves the run (even "+", to keep this simple).
  void quantified() {
    if (lastWasLiteral_ && !run_.empty()) run_.pop_back();
    other();
    // Lazy and possessive forms: "*?", "++".
    if (at_ < pattern_.size() && (pattern_[at_] == '?' || pattern_[at_] == '+')) ++at_;
  }

  // "{n}", "{n,}", "{n,m}" or "{,m}". A brace that is no such count is a
  // literal brace in PCRE2; reading those is left alone.
  bool skipCounts() {
    const auto close = pattern_.find('}', at_);
    if (close == std::string_view::npos) return false;
    const auto inside = pattern_.substr(at_ + 1, close - at_ - 1);
    if (inside.empty() || inside.find_first_not_of("0123456789, ") != std::string_view::npos)
      return false;
    at_ = close + 1;
    return true;
  }

  // At a backslash inside a class or group: steps over the escape.
  bool skipEscape() {
    if (at_ + 1 >= pattern_.size()) return false;
    const char escaped = pattern_[at_ + 1];
    if (isAsciiAlphanumeric(escaped) && !isPlainEscape(escaped)) return false;
    at_ += 2;
    return true;
  }

  bool skipClass() {
    ++at_;
    if (at_ < pattern_.size() && pattern_[at_] == '^') ++at_;
    if (at_ < pattern_.size() && pattern_[at_] == ']') ++at_;  // a leading ']' is a member
    while (at_ < pattern_.size()) {
      const char c = pattern_[at_];
      if (c == '\\') {
        if (!skipEscape()) return false;
        continue;
      }
      if (c == '[') return false;  // POSIX names such as [:alpha:]
      ++at_;
      if (c == ']') return true;
    }
    return false;
  }

  bool skipGroup() {
    int depth = 0;
    while (at_ < pattern_.size()) {
      const char c = pattern_[at_];
      if (c == '\\') {
        if (!skipEscape()) return false;
        continue;
      }
      if (c == '[') {
        if (!skipClass()) return false;
        continue;
      }
      ++at_;
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) return true;
    }
    return false;
  }

  std::string_view pattern_;
  std::size_t at_ = 0;
  std::string run_;
  bool lastWasLiteral_ = false;
  std::vector<std::string> literals_;
};

}  // namespace

std::vector<std::string> requiredLiterals(std::string_view pattern) {
  if (changesReading(pattern)) return {};
  auto literals = LiteralReader(pattern).read();
  if (!literals) return {};
  // The longest first: it is the one least likely to be present.
  std::stable_sort(literals->begin(), literals->end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  return std::move(*literals);
}

}  // namespace glimmet
