// Load and atomic save of the small JSON files in the shared folder.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace glimmet {

/// The shared files nest a few levels; text nested deeper is not one of ours
/// and reads as corrupt, before it is parsed.
inline constexpr std::size_t kMaxSharedJsonDepth = 64;

/// The shared files are a few kilobytes; anything this large is not one of
/// ours, and reading it would only cost memory.
inline constexpr std::size_t kMaxStoredFileBytes = 8 * 1024 * 1024;

/// `text` parsed, or nothing when it is not JSON (invalid UTF-8 included) or
/// nests deeper than kMaxSharedJsonDepth.
std::optional<nlohmann::json> parseSharedJson(std::string_view text);

/// A record the store can hold: `static std::optional<T> fromJson(const json&)`
/// (nothing when the value is not valid for the type) and `json toJson() const`.
template <typename T>
concept StoredRecord = requires(const T& value, const nlohmann::json& json) {
  { T::fromJson(json) } -> std::same_as<std::optional<T>>;
  { value.toJson() } -> std::convertible_to<nlohmann::json>;
};

class JSONStore {
 public:
  explicit JSONStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

  const std::filesystem::path& directory() const { return directory_; }

  /// The parsed file, or nothing when it is missing, unusable (a link, a FIFO,
  /// another user's), too large, too deep or not JSON. Never throws: a missing
  /// and a corrupt file are the same to callers.
  std::optional<nlohmann::json> loadJson(std::string_view name) const;

  template <StoredRecord T>
  std::optional<T> load(std::string_view name) const {
    auto json = loadJson(name);
    if (!json) return std::nullopt;
    return T::fromJson(*json);
  }

  /// Creates the folder (0700) when missing and replaces `name` atomically with the
  /// pretty-printed, key-sorted encoding (slashes escaped). Throws
  /// platform::SystemError carrying the system's description, also when the
  /// folder is another user's.
  void saveJson(const nlohmann::json& value, std::string_view name) const;

  template <StoredRecord T>
  void save(const T& value, std::string_view name) const {
    saveJson(value.toJson(), name);
  }

 private:
  std::filesystem::path directory_;
};

}  // namespace glimmet
