// Redaction of the free text an agent attaches to a quit request, before it is
// written where the person and the application read it.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

struct MCPText {
  /// Three U+2022 bullets.
  static constexpr std::string_view mask = "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";

  /// Masks the values of secret flags (--token X, --api-key=X) and long token-like
  /// words, and joins the words with single spaces.
  static std::string redact(std::string_view note);
};

}  // namespace glimmet
