// Decoding of the rule file and the scan cache, where (unlike settings) a
// missing required key or any value of the wrong type rejects the whole value.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

class StrictReader {
 public:
  explicit StrictReader(const nlohmann::json& object)
      : object_(object), valid_(object.is_object()) {}

  bool valid() const { return valid_; }

  template <typename T>
  StrictReader& required(std::string_view key, T& field) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found == object_.end() || !decode(*found, field)) valid_ = false;
    return *this;
  }

  /// An absent key or null leaves the field empty.
  template <typename T>
  StrictReader& optional(std::string_view key, std::optional<T>& field) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found == object_.end() || found->is_null()) return *this;
    T value{};
    if (!decode(*found, value)) {
      valid_ = false;
      return *this;
    }
    field = std::move(value);
    return *this;
  }

  static bool decode(const nlohmann::json& value, bool& field) {
    if (!value.is_boolean()) return false;
    field = value.get<bool>();
    return true;
  }
  static bool decode(const nlohmann::json& value, std::string& field) {
    if (!value.is_string()) return false;
    field = value.get<std::string>();
    return true;
  }
  static bool decode(const nlohmann::json& value, int64_t& field) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
      field = value.get<int64_t>();
      return true;
    }
    if (value.is_number_unsigned() && value.get<uint64_t>() <= INT64_MAX) {
      field = static_cast<int64_t>(value.get<uint64_t>());
      return true;
    }
    return false;
  }
  static bool decode(const nlohmann::json& value, uint64_t& field) {
    if (value.is_number_unsigned()) {
      field = value.get<uint64_t>();
      return true;
    }
    if (value.is_number_integer() && value.get<int64_t>() >= 0) {
      field = static_cast<uint64_t>(value.get<int64_t>());
      return true;
    }
    return false;
  }
  static bool decode(const nlohmann::json& value, double& field) {
    if (!value.is_number()) return false;
    field = value.get<double>();
    return true;
  }
  static bool decode(const nlohmann::json& value, std::vector<std::string>& field) {
    if (!value.is_array()) return false;
    std::vector<std::string> decoded;
    decoded.reserve(value.size());
    for (const auto& element : value) {
      if (!element.is_string()) return false;
      decoded.push_back(element.get<std::string>());
    }
    field = std::move(decoded);
    return true;
  }
  /// Records with their own rules.
  template <typename T>
  requires requires(const nlohmann::json& json) { T::fromJson(json); }
  static bool decode(const nlohmann::json& value, T& field) {
    auto decoded = T::fromJson(value);
    if (!decoded) return false;
    field = std::move(*decoded);
    return true;
  }

 private:
  const nlohmann::json& object_;
  bool valid_;
};

}  // namespace glimmet
