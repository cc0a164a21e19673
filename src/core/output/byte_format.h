// Byte counts as people read them: the file style (decimal units) used by the
// documents and listings, the memory style (binary units) used for freed memory,
// and the terse decimal text of the session and status lines.
#pragma once

#include <cstdint>
#include <string>

namespace glimmet {

/// 1 KB is 1000 bytes: "Zero KB", "1 byte", "999 bytes", "1 KB", "1.5 MB", "1.23 GB".
std::string fileStyleBytes(uint64_t bytes);

/// 1 KB is 1024 bytes, with the same unit names and rounding as the file style.
std::string memoryStyleBytes(uint64_t bytes);

/// The shorter text of the agents, status and stop lines, 1 KB being 1000 bytes:
/// "512 B", "900 KB", "1.5 MB", "12 MB", "2.50 GB", "12.5 GB".
std::string decimalBytes(uint64_t bytes);

}  // namespace glimmet
