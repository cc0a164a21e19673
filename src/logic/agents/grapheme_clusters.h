// User-perceived characters (extended grapheme clusters) for shortening texts
// that people read, so a cut never splits an accent from its letter, a flag
// into its two halves, or a family emoji into its members.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace glimmet {

/// When `utf8` holds more than `count` user-perceived characters: the byte length
/// of its first `count`. Nothing when it holds `count` or fewer.
std::optional<size_t> graphemePrefixLength(std::string_view utf8, size_t count);

}  // namespace glimmet
