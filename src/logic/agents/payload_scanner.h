// A strict, streaming JSON reader for agent hook payloads. `notify` runs on
// every agent turn and a payload may be a megabyte: building a document tree
// for it costs tens of milliseconds, and even holding it whole costs a page
// fault per 4 KiB, while the parsers need only a handful of top-level strings.
// This validates the whole text as JSON (RFC 8259: UTF-8, escapes, surrogate
// pairs, number grammar, nothing after the value; a leading byte order mark is
// skipped) as it arrives in pieces, builds nothing, and copies out only the
// strings asked for. Nesting is tracked on the heap, so depth costs no stack.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glimmet {

/// Supplies a payload piece by piece; an empty piece ends it. A piece stays valid
/// until the next call.
class PayloadPieces {
 public:
  virtual ~PayloadPieces() = default;
  virtual std::string_view next() = 0;
};

/// A payload already in memory, as one piece.
class WholePayload : public PayloadPieces {
 public:
  explicit WholePayload(std::string_view bytes) : bytes_(bytes) {}
  std::string_view next() override { return std::exchange(bytes_, {}); }

 private:
  std::string_view bytes_;
};

/// A top-level member to copy out, and how many bytes of its text to keep at most
/// (cut at a character boundary; the rest is still validated).
struct WantedString {
  std::string_view key;
  size_t longest = std::numeric_limits<size_t>::max();
};

/// For a payload that is one valid JSON object: one entry per wanted key, holding
/// the member's string value, or nothing when the member is absent or not a string
/// (for a repeated key the last occurrence counts). Nothing at all when the text is
/// not valid JSON or its value is not an object.
using TopLevelStrings = std::vector<std::optional<std::string>>;
std::optional<TopLevelStrings> readTopLevelStrings(PayloadPieces& payload,
                                                   std::span<const WantedString> wanted);
std::optional<TopLevelStrings> readTopLevelStrings(std::string_view text,
                                                   std::span<const WantedString> wanted);

}  // namespace glimmet
