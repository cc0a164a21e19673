// Reading a descriptor someone else writes to, without ever being held up by
// them: a cap on what is read, and a deadline on every wait for more.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace glimmet::platform {

/// Standard input, as a descriptor: whether it is a terminal decides whether to
/// read it at all, which a stream can't tell.
inline constexpr int kStandardInput = 0;

struct ReadBounds {
  size_t limit = 0;                   ///< nothing more is read once this much is delivered
  size_t chunk = 0;                   ///< one read takes at most this much
  std::chrono::milliseconds silence;  ///< a writer quiet this long ends the input
};

/// The bytes on a descriptor, one read at a time, until end of input, a failed
/// read, or (checked before each read) `limit` bytes delivered. A terminal gives
/// nothing at once: nobody is going to type what a program was meant to pipe.
/// A writer that keeps the descriptor open without writing ends it after
/// `silence`. A pipe is widened to hold `limit` at once, so its writer hands
/// everything over in one go instead of waiting on each of our reads; a file or
/// socket is left as it is. One buffer of `chunk` bytes is reused, so a large
/// input costs no more memory. The descriptor stays the caller's.
class BoundedReader {
 public:
  BoundedReader(int fd, ReadBounds bounds);

  /// The next piece, valid until the next call; empty once the input has ended.
  std::string_view next();

 private:
  int fd_;
  ReadBounds bounds_;
  size_t delivered_ = 0;
  bool ended_ = false;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace glimmet::platform
