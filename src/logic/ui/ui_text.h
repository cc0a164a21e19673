// Small wordings and measures the interactive view shares between its rows,
// its keys and its screen.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glimmet {

/// "12 s", "5 min", "3 h", "2 days": how long a process has been up.
std::string ageText(double seconds);
/// "1 process", "3 processes".
std::string processCount(std::size_t count);
/// Columns `text` takes on the screen: one per code point.
std::size_t screenWidth(std::string_view text);
/// `text` cut to `width` columns (never inside a UTF-8 sequence), not padded.
std::string cutToWidth(std::string_view text, std::size_t width);

}  // namespace glimmet
