// The one shape of every document a command prints, and the one place that
// chooses between its two forms. A document is a value built by logic from what
// the use case gathered; it knows its JSON, its text lines, and which exit status
// each form ends in (an empty list is "nothing found" in text, while a script
// reading JSON may still want the empty document and status 0).
#pragma once

#include <concepts>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/output/output.h"

namespace glimmet {

enum class OutputFormat { text, json };

template <class D>
concept Document = requires(const D& document, OutputFormat format) {
  { document.toJson() } -> std::convertible_to<nlohmann::json>;
  { document.lines() } -> std::convertible_to<std::vector<std::string>>;
  { document.status(format) } -> std::same_as<ExitStatus>;
};

/// Prints `document` in `format` and returns the status the command ends with.
template <Document D>
ExitStatus printDocument(Output& out, const D& document, OutputFormat format) {
  if (format == OutputFormat::json) {
    out.document(document.toJson());
  } else {
    for (const auto& line : document.lines()) out.line(line);
  }
  return document.status(format);
}

inline OutputFormat outputFormat(bool json) {
  return json ? OutputFormat::json : OutputFormat::text;
}

}  // namespace glimmet
