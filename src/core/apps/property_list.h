// Property lists in any of their formats (XML or binary), read through libplist,
// with the few lookups the app listing needs.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

class PropertyList {
 public:
  /// Anything larger is not a property list an app would ship; refusing it keeps
  /// a hostile file from costing memory.
  static constexpr size_t kMaxBytes = 1 << 20;

  /// Nothing when `bytes` is not a property list whose root is a dictionary.
  static std::optional<PropertyList> parse(std::string_view bytes);
  /// Reads and parses a regular file of at most kMaxBytes.
  static std::optional<PropertyList> read(const std::filesystem::path& path);

  /// The string value of a top-level key; nothing for a missing key or another type.
  std::optional<std::string> string(const char* key) const;
  /// The string elements of a top-level array; other elements are skipped.
  std::vector<std::string> strings(const char* key) const;

 private:
  struct Free {
    void operator()(void* node) const;
  };
  explicit PropertyList(void* root) : root_(root) {}
  std::unique_ptr<void, Free> root_;
};

}  // namespace glimmet
