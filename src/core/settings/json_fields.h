// Key-by-key decoding of settings records. Every key is optional: an absent key
// (or null) keeps the field's default; a present key of the wrong type marks the
// whole record invalid, which makes the whole file fall back to defaults.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace glimmet {

class FieldReader {
 public:
  /// A value that is not an object is invalid as a record.
  explicit FieldReader(const nlohmann::json& object)
      : object_(object), valid_(object.is_object()) {}

  bool valid() const { return valid_; }

  template <typename T>
  FieldReader& read(std::string_view key, T& field) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found == object_.end() || found->is_null()) return *this;
    if (!decodeValue(*found, field)) valid_ = false;
    return *this;
  }

  /// A record the tool never acts on: it must be an object, and is otherwise ignored.
  FieldReader& requireObject(std::string_view key) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found != object_.end() && !found->is_null() && !found->is_object()) valid_ = false;
    return *this;
  }

 private:
  static bool decodeValue(const nlohmann::json& value, bool& field) {
    if (!value.is_boolean()) return false;
    field = value.get<bool>();
    return true;
  }
  static bool decodeValue(const nlohmann::json& value, double& field) {
    if (!value.is_number()) return false;
    field = value.get<double>();
    return true;
  }
  static bool decodeValue(const nlohmann::json& value, std::string& field) {
    if (!value.is_string()) return false;
    field = value.get<std::string>();
    return true;
  }
  static bool decodeValue(const nlohmann::json& value, std::vector<std::string>& field) {
    if (!value.is_array()) return false;
    std::vector<std::string> decoded;
    for (const auto& element : value) {
      if (!element.is_string()) return false;
      decoded.push_back(element.get<std::string>());
    }
    field = std::move(decoded);
    return true;
  }
  template <typename T>
  static bool decodeValue(const nlohmann::json& value, std::optional<T>& field) {
    T decoded{};
    if (!decodeValue(value, decoded)) return false;
    field = std::move(decoded);
    return true;
  }
  // Integers accept a whole number written with a fraction (3.0), as the
  // application's decoder does, but never a value outside the type's range.
  template <typename T>
  requires(std::is_integral_v<T> &&
           !std::is_same_v<T, bool>) static bool decodeValue(const nlohmann::json& value,
                                                             T& field) {
    using Limits = std::numeric_limits<T>;
    if (value.is_number_unsigned()) {
      const auto number = value.get<uint64_t>();
      if (number > static_cast<uint64_t>(Limits::max())) return false;
      field = static_cast<T>(number);
      return true;
    }
    if (value.is_number_integer()) {
      const auto number = value.get<int64_t>();
      if constexpr (std::is_unsigned_v<T>) {
        if (number < 0 || static_cast<uint64_t>(number) > static_cast<uint64_t>(Limits::max()))
          return false;
      } else {
        if (number < static_cast<int64_t>(Limits::min()) ||
            number > static_cast<int64_t>(Limits::max()))
          return false;
      }
      field = static_cast<T>(number);
      return true;
    }
    if (value.is_number_float()) {
      const double number = value.get<double>();
      if (std::trunc(number) != number || number < static_cast<double>(Limits::min()) ||
          number >= std::ldexp(1.0, Limits::digits))
        return false;
      field = static_cast<T>(number);
      return true;
    }
    return false;
  }
  // Nested records decode by their own rules.
  template <typename T>
  requires requires(const nlohmann::json& json) { T::fromJson(json); }
  static bool decodeValue(const nlohmann::json& value, T& field) {
    auto decoded = T::fromJson(value);
    if (!decoded) return false;
    field = std::move(*decoded);
    return true;
  }

  const nlohmann::json& object_;
  bool valid_;
};

}  // namespace glimmet
