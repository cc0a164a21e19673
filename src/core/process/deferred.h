// A field of a process record that is read from the system only when some
// code first asks for it. A snapshot reads what every process command needs of
// every process (its stat line, owner and arguments); the environment, working
// folder, executable and memory of a process cost a read each and matter only
// to the few processes a command looks at closely, so they wait until asked.
//
// To its readers a deferred field is a const value of its type: it converts to
// `const T&`, and the optional and list operations the records' readers use
// are forwarded. Copies of a record share the one reading; assigning a value
// to a copy replaces it in that copy only. A field made from a value (tests,
// recorded records) never reads anything.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace glimmet {

template <typename T>
class Deferred {
 public:
  Deferred() = default;
  Deferred(T value)
      : cell_(std::make_shared<Cell>(std::move(value))) {}  // NOLINT: a value is a field
  template <typename U>
  requires(!std::is_same_v<std::remove_cvref_t<U>, Deferred> &&
           !std::is_same_v<std::remove_cvref_t<U>, T> && std::is_constructible_v<T, U&&>)
      Deferred(U&& value)
      : Deferred(T(std::forward<U>(value))) {}  // NOLINT: as T would

  template <typename List = T>
  requires std::is_constructible_v<List, std::initializer_list<typename List::value_type>> Deferred(
      std::initializer_list<typename List::value_type> values)  // NOLINT: as T would
      : Deferred(T(values)) {}

  /// A field read by `read` the first time it is asked for, at most once.
  static Deferred later(std::function<T()> read) {
    Deferred field;
    field.cell_ = std::make_shared<Cell>(std::move(read));
    return field;
  }

  const T& get() const {
    if (!cell_) return nothing();
    return cell_->value();
  }
  operator const T&() const { return get(); }  // NOLINT: reads as the value it stands for
  /// Whether the value is known without a read (made from a value, or read already).
  bool isRead() const { return !cell_ || cell_->isRead(); }

  // What optional fields are asked.
  explicit operator bool() const requires requires(const T& value) { value.has_value(); }
  { return get().has_value(); }
  bool has_value() const  // NOLINT: the name optional gives it
      requires requires(const T& value) {
    value.has_value();
  }
  { return get().has_value(); }
  decltype(auto) operator*() const requires requires(const T& value) { *value; }
  { return *get(); }
  auto operator->() const requires requires(const T& value) { value.has_value(); }
  { return &*get(); }
  template <typename U>
  auto value_or(U&& fallback) const  // NOLINT: the name optional gives it
      requires requires(const T& value) {
    value.value_or(std::forward<U>(fallback));
  }
  { return get().value_or(std::forward<U>(fallback)); }

  // What list fields are asked.
  bool empty() const requires requires(const T& value) { value.empty(); }
  { return get().empty(); }
  std::size_t size() const requires requires(const T& value) { value.size(); }
  { return get().size(); }
  auto begin() const requires requires(const T& value) { value.begin(); }
  { return get().begin(); }
  auto end() const requires requires(const T& value) { value.end(); }
  { return get().end(); }
  decltype(auto) front() const requires requires(const T& value) { value.front(); }
  { return get().front(); }
  decltype(auto) operator[](std::size_t index) const requires requires(const T& value) {
    value[index];
  }
  { return get()[index]; }

  friend bool operator==(const Deferred& a, const Deferred& b) { return a.get() == b.get(); }
  template <typename U>
  requires(!std::is_same_v<std::remove_cvref_t<U>, Deferred>) &&
      requires(const T& value, const U& other) {
    value == other;
  }
  friend bool operator==(const Deferred& a, const U& b) { return a.get() == b; }

 private:
  class Cell {
   public:
    explicit Cell(T value) : read_(nullptr), value_(std::move(value)), isRead_(true) {
      std::call_once(once_, [] {});
    }
    explicit Cell(std::function<T()> read) : read_(std::move(read)) {}

    const T& value() {
      // Records may be read from more than one thread (a disk scan's walkers
      // ask which folders are in use): the read happens once, whoever asks.
      std::call_once(once_, [&] {
        value_ = read_();
        read_ = nullptr;
        isRead_ = true;
      });
      return value_;
    }
    bool isRead() const { return isRead_.load(); }

   private:
    std::function<T()> read_;
    T value_{};
    std::atomic<bool> isRead_ = false;
    std::once_flag once_;
  };

  static const T& nothing() {
    static const T nothing{};
    return nothing;
  }

  std::shared_ptr<Cell> cell_;
};

}  // namespace glimmet
