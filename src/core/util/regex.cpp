// PCRE2 wrapper.
#include "core/util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <atomic>
#include <mutex>

#include "core/util/ascii.h"
#include "core/util/required_literals.h"

namespace glimmet {

// The interpreted code, and a machine-code copy made once the pattern has been
// searched kSearchesBeforeJit times. The copy is published whole, so a search
// running in another thread never sees code half compiled.
struct Regex::Compiled {
  static constexpr unsigned kSearchesBeforeJit = 16;

  explicit Compiled(pcre2_code* interpreted) : code(interpreted) {}
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() {
    pcre2_code_free(jitted.load());
    pcre2_code_free(code);
  }

  const pcre2_code* forSearch() {
    if (searches.fetch_add(1, std::memory_order_relaxed) < kSearchesBeforeJit) return code;
    std::call_once(jitOnce, [&] {
      pcre2_code* copy = pcre2_code_copy(code);
      // JIT is only a speed-up: where the system refuses it, the interpreter runs.
      if (copy != nullptr && pcre2_jit_compile(copy, PCRE2_JIT_COMPLETE) != 0) {
        pcre2_code_free(copy);
        copy = nullptr;
      }
      jitted.store(copy);
    });
    const pcre2_code* fast = jitted.load();
    return fast != nullptr ? fast : code;
  }

  pcre2_code* code;
  std::atomic<pcre2_code*> jitted = nullptr;
  std::atomic<unsigned> searches = 0;
  std::once_flag jitOnce;
};

namespace {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
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
  return Regex(std::string(pattern), std::make_shared<Compiled>(code), requiredLiterals(pattern));
}

std::string Regex::serialize(const std::vector<const Regex*>& regexes) {
  std::vector<const pcre2_code*> codes;
  codes.reserve(regexes.size());
  for (const Regex* regex : regexes) codes.push_back(regex->code_->code);
  uint8_t* bytes = nullptr;
  PCRE2_SIZE size = 0;
  if (pcre2_serialize_encode(codes.data(), static_cast<int32_t>(codes.size()), &bytes, &size,
                             nullptr) < 0)
    throw RegexError("the compiled patterns can't be serialized");
  std::string out(reinterpret_cast<const char*>(bytes), size);
  pcre2_serialize_free(bytes);
  return out;
}

std::vector<Regex> Regex::deserialize(std::string_view bytes,
                                      const std::vector<std::string_view>& patterns) {
  // Copied so that PCRE2 reads its header from an allocation's own alignment.
  const std::string aligned(bytes);
  const auto* data = reinterpret_cast<const uint8_t*>(aligned.data());
  // The header alone says how many codes follow; it must be there to be read.
  constexpr std::size_t kHeaderBytes = 16;
  if (aligned.size() < kHeaderBytes ||
      pcre2_serialize_get_number_of_codes(data) != static_cast<int32_t>(patterns.size()))
    throw RegexError("the serialized patterns don't match");
  std::vector<pcre2_code*> codes(patterns.size(), nullptr);
  if (!patterns.empty() &&
      pcre2_serialize_decode(codes.data(), static_cast<int32_t>(codes.size()), data, nullptr) !=
          static_cast<int32_t>(codes.size()))
    throw RegexError("the serialized patterns are not of this PCRE2");
  std::vector<std::unique_ptr<pcre2_code, CodeDeleter>> owned;
  owned.reserve(codes.size());
  for (pcre2_code* code : codes) owned.emplace_back(code);
  std::vector<Regex> regexes;
  regexes.reserve(patterns.size());
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    auto compiled = std::make_shared<Compiled>(owned[i].get());
    owned[i].release();
    regexes.push_back(
        Regex(std::string(patterns[i]), std::move(compiled), requiredLiterals(patterns[i])));
  }
  return regexes;
}

std::string_view RegexSubject::lowered() const {
  if (!lowered_) lowered_ = asciiLower(text_);
  return *lowered_;
}

bool Regex::search(const RegexSubject& subject) const {
  for (const auto& literal : literals_)
    if (subject.lowered().find(literal) == std::string_view::npos) return false;
  return find(subject.text(), 0).has_value();
}

std::optional<std::pair<size_t, size_t>> Regex::find(std::string_view text, size_t offset) const {
  if (offset > text.size()) return std::nullopt;
  const pcre2_code* code = code_->forSearch();
  const std::unique_ptr<pcre2_match_data, MatchDataDeleter> match(
      pcre2_match_data_create_from_pattern(code, nullptr));
  if (!match) throw std::bad_alloc();
  const int found =
      pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), offset, 0,
                  match.get(), const_cast<pcre2_match_context*>(boundedMatching()));
  if (found < 0) return std::nullopt;  // no match, or a limit hit on hostile input: treated alike
  const PCRE2_SIZE* range = pcre2_get_ovector_pointer(match.get());
  return std::make_pair(static_cast<size_t>(range[0]), static_cast<size_t>(range[1]));
}

}  // namespace glimmet
