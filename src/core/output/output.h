// Where a command's words go: one text line at a time, or exactly one JSON
// document. Commands get an Output, never std::cout, so tests can capture it.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>

namespace glimmet {

class Output {
 public:
  explicit Output(std::ostream& stream) : stream_(stream) {}

  /// Writes `text`, with control characters and invalid UTF-8 shown as "?", and
  /// a line feed.
  void line(std::string_view text);
  /// Writes `document` pretty printed with sorted keys and unescaped slashes, and a
  /// line feed. The document is encoded first, so a failure writes nothing.
  void document(const nlohmann::json& document);
  /// Writes `bytes` as they are and flushes, for a server whose client waits on
  /// each answer (glimmet mcp).
  void write(std::string_view bytes);
  /// Sends what was written so far, for a command whose lines report progress.
  void flush() { stream_.flush(); }

 private:
  std::ostream& stream_;
};

}  // namespace glimmet
