// Byte counts as people read them: the file style (decimal units) used by the
// documents and listings, and the memory style (binary units) used for freed memory.
#pragma once

#include <cstdint>
#include <string>

namespace glimmet {

/// 1 KB is 1000 bytes: "Zero KB", "1 byte", "999 bytes", "1 KB", "1.5 MB", "1.23 GB".
std::string fileStyleBytes(uint64_t bytes);

/// 1 KB is 1024 bytes, with the same unit names and rounding as the file style.
std::string memoryStyleBytes(uint64_t bytes);

}  // namespace glimmet
