// PCRE2 wrapper.
#include "core/util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace glimmet {
namespace {

struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

// Patterns come from a data file and subjects from other programs' command
// lines, so a pattern that backtracks catastrophically must end, not hang the
// command: past these limits a search counts as no match.
const pcre2_match_context* boundedMatching() {
  static const std::unique_ptr<pcre2_match_context, MatchContextDeleter> context = [] {
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> made(
        pcre2_match_context_create(nullptr));
    if (!made) throw std::bad_alloc();
    pcre2_set_match_limit(made.get(), 1'000'000);
    pcre2_set_depth_limit(made.get(), 10'000);
    return made;
  }();
  return context.get();
}

}  // namespace

Regex Regex::compile(std::string_view pattern, bool caseInsensitive) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   caseInsensitive ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
  if (code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw RegexError(std::string(reinterpret_cast<const char*>(message)) + " at offset " +
                     std::to_string(offset));
  }
  // JIT is only a speed-up: where the system refuses it, the interpreter runs.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return Regex(std::string(pattern),
               std::shared_ptr<const pcre2_code>(
                   code, [](const pcre2_code* c) { pcre2_code_free(const_cast<pcre2_code*>(c)); }));
}

std::optional<std::pair<size_t, size_t>> Regex::find(std::string_view text, size_t offset) const {
  if (offset > text.size()) return std::nullopt;
  const std::unique_ptr<pcre2_match_data, MatchDataDeleter> match(
      pcre2_match_data_create_from_pattern(code_.get(), nullptr));
  if (!match) throw std::bad_alloc();
  const int found =
      pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), offset, 0,
                  match.get(), const_cast<pcre2_match_context*>(boundedMatching()));
  if (found < 0) return std::nullopt;  // no match, or a limit hit on hostile input: treated alike
  const PCRE2_SIZE* range = pcre2_get_ovector_pointer(match.get());
  return std::make_pair(static_cast<size_t>(range[0]), static_cast<size_t>(range[1]));
}

}  // namespace glimmet
