// The one JSON encoder for documents and shared files: two-space pretty print,
// " : " between key and value, keys in byte order, valid UTF-8 out.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace glimmet {

struct JsonWriteOptions {
  /// Shared-folder files escape "/" as "\/" (as the application's encoder does);
  /// command output does not.
  bool escapeSlashes = false;
};

/// Encodes `value` without a trailing line feed. Object keys come out in byte order
/// because nlohmann::json keeps objects in a std::map of std::string. Invalid UTF-8 in
/// strings and keys becomes U+FFFD. Throws std::invalid_argument for NaN or infinity,
/// which JSON cannot carry, and for a value nested more than 512 levels deep, which
/// nothing of ours is: no value can exhaust the stack.
std::string writeJson(const nlohmann::json& value, JsonWriteOptions options = {});

/// Encodes `value` on one line with no spaces, keys in the value's own order, and
/// invalid UTF-8 as U+FFFD: the form of log lines (one record per line) and of MCP
/// messages on the wire, where the reader splits on line feeds.
std::string writeCompactJson(const nlohmann::json& value);
std::string writeCompactJson(const nlohmann::ordered_json& value);

/// Appends `text` to `out` with every ill-formed UTF-8 sequence replaced by U+FFFD.
void appendValidUtf8(std::string& out, std::string_view text);

/// Appends `text` as a JSON string, quotes included, in the encoding writeJson
/// uses: for a writer that builds a large document piece by piece, without a
/// json value per field.
void appendJsonString(std::string& out, std::string_view text, JsonWriteOptions options = {});
/// Appends `value` as writeJson writes a number; throws std::invalid_argument
/// for NaN or infinity.
void appendJsonNumber(std::string& out, double value);

}  // namespace glimmet
