// Random bytes from the kernel, for identifiers the tool hands out (plan and
// event ids, the random part of a scan id).
#pragma once

#include <cstddef>
#include <span>

namespace glimmet::platform {

/// Fills `out` from the kernel's random source. On a system where that can't
/// be read, the bytes come from a generator seeded with the clock and this
/// process's id: unique enough for an identifier, never for a secret.
void randomBytes(std::span<std::byte> out);

}  // namespace glimmet::platform
