// SHA-256 digests, as the lower-case hexadecimal text files and folder names use.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

/// Lower-case hexadecimal SHA-256 of `bytes`.
std::string sha256Hex(std::string_view bytes);

}  // namespace glimmet
