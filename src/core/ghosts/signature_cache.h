// A signature file's compiled form, kept among the tool's caches, so that a
// command doesn't parse the JSON and compile every pattern at each start (that
// was a tenth of a `ghosts` run). It is keyed by the file's bytes: an edited
// or another file misses, and the next load writes it anew.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/ghosts/signature_engine.h"

namespace glimmet::signature_cache {

/// The engine of `source` (a signature file's bytes) as cached in `file`;
/// nothing when the file is missing, torn, written for other bytes or by
/// another PCRE2, or when it isn't the user's own (another owner, writable by
/// others, a symbolic link).
std::optional<SignatureEngine> read(const std::filesystem::path& file, std::string_view source);

/// The bytes `read` accepts for `source` and `engine`.
std::string encode(std::string_view source, const SignatureEngine& engine);

/// Writes the cache for `source` atomically; a cache that can't be written is
/// only a slower next start, so failures are ignored.
void write(const std::filesystem::path& file, std::string_view source,
           const SignatureEngine& engine);

}  // namespace glimmet::signature_cache
