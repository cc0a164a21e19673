// Key-by-key decoding of the JSON records the tool reads: settings, rules, the
// scan cache. A present key of the wrong type marks the whole record invalid,
// which makes its whole file fall back to defaults (settings) or fail to
// decode (rules, cache). Settings keys are all optional; rules and the cache
// also have required ones, and write integers only as integers.
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

/// How an integer field may be written.
enum class IntegerForm {
  /// Also as a whole number with a fraction (3.0), as the application's
  /// decoder accepts in the settings it writes.
  wholeNumber,
  /// Only as an integer: the rule file and the scan cache.
  exact,
};

class FieldReader {
 public:
  /// A value that is not an object is invalid as a record.
  explicit FieldReader(const nlohmann::json& object,
                       IntegerForm integers = IntegerForm::wholeNumber)
      : object_(object), integers_(integers), valid_(object.is_object()) {}

  bool valid() const { return valid_; }

  /// An absent key or null keeps the field as it is (its default, or empty).
  template <typename T>
  FieldReader& read(std::string_view key, T& field) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found == object_.end() || found->is_null()) return *this;
    if (!decodeValue(*found, field)) valid_ = false;
    return *this;
  }

  /// The key must be there with a value of the field's type.
  template <typename T>
  FieldReader& required(std::string_view key, T& field) {
    if (!valid_) return *this;
    const auto found = object_.find(key);
    if (found == object_.end() || !decodeValue(*found, field)) valid_ = false;
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
  bool decodeValue(const nlohmann::json& value, bool& field) const {
    if (!value.is_boolean()) return false;
    field = value.get<bool>();
    return true;
  }
  bool decodeValue(const nlohmann::json& value, double& field) const {
    if (!value.is_number()) return false;
    field = value.get<double>();
    return true;
  }
  bool decodeValue(const nlohmann::json& value, std::string& field) const {
    if (!value.is_string()) return false;
    field = value.get<std::string>();
    return true;
  }
  bool decodeValue(const nlohmann::json& value, std::vector<std::string>& field) const {
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
  template <typename T>
  bool decodeValue(const nlohmann::json& value, std::optional<T>& field) const {
    T decoded{};
    if (!decodeValue(value, decoded)) return false;
    field = std::move(decoded);
    return true;
  }
  // Never a value outside the type's range, whichever form it is written in.
  template <typename T>
  requires(std::is_integral_v<T> &&
           !std::is_same_v<T, bool>) bool decodeValue(const nlohmann::json& value, T& field) const {
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
    if (value.is_number_float() && integers_ == IntegerForm::wholeNumber) {
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
  bool decodeValue(const nlohmann::json& value, T& field) const {
    auto decoded = T::fromJson(value);
    if (!decoded) return false;
    field = std::move(*decoded);
    return true;
  }

  const nlohmann::json& object_;
  IntegerForm integers_;
  bool valid_;
};

}  // namespace glimmet
