// A compact, length-prefixed byte form for caches the tool writes and reads
// back itself. Reading never trusts a length: running past the end throws, so
// a torn or foreign file is refused, never read out of bounds.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

class ByteCodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteWriter {
 public:
  void number(std::uint64_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out_.append(bytes, sizeof bytes);
  }
  void flag(bool value) { out_.push_back(value ? '\1' : '\0'); }
  void text(std::string_view value) {
    number(value.size());
    out_.append(value);
  }
  void texts(const std::vector<std::string>& values) {
    number(values.size());
    for (const auto& value : values) text(value);
  }

  const std::string& bytes() const { return out_; }

 private:
  std::string out_;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  std::uint64_t number() {
    std::uint64_t value = 0;
    std::memcpy(&value, take(sizeof value).data(), sizeof value);
    return value;
  }
  bool flag() {
    const char value = take(1).front();
    if (value != '\0' && value != '\1') throw ByteCodecError("not a flag");
    return value == '\1';
  }
  std::string text() { return std::string(take(count())); }
  std::vector<std::string> texts() {
    std::vector<std::string> values(count());
    for (auto& value : values) value = text();
    return values;
  }
  /// A count of things that each take at least one byte: larger than what is
  /// left, it can't be right, and must not size an allocation.
  std::size_t count() {
    const auto value = number();
    if (value > bytes_.size()) throw ByteCodecError("a count runs past the end");
    return static_cast<std::size_t>(value);
  }
  std::string_view take(std::size_t size) {
    if (size > bytes_.size()) throw ByteCodecError("the bytes end early");
    const auto taken = bytes_.substr(0, size);
    bytes_.remove_prefix(size);
    return taken;
  }
  std::string_view rest() const { return bytes_; }

 private:
  std::string_view bytes_;
};

}  // namespace glimmet
