// UTF-8 well-formedness, as JSON output and stored rules need it.
#pragma once

#include <cstddef>
#include <string_view>

namespace glimmet {

/// Length of the well-formed UTF-8 sequence at the start of `text` (not empty), or
/// 0 when it is ill-formed. `consumed` gets the length of the maximal ill-formed
/// prefix, so that one U+FFFD replaces it (the Unicode "maximal subpart" practice).
std::size_t utf8SequenceLength(std::string_view text, std::size_t& consumed);

bool isWellFormedUtf8(std::string_view text);

}  // namespace glimmet
