// A hook's payload on standard input, read without ever holding up the agent.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

#include "logic/agents/payload_scanner.h"

namespace glimmet {

/// Payloads are cut here; whatever was read so far is the payload.
inline constexpr size_t kLargestHookPayload = 1'048'576;
/// Reads are at most this large.
inline constexpr size_t kHookReadChunk = 65'536;
/// A pipe that stays silent this long ends the payload.
inline constexpr std::chrono::milliseconds kHookInputSilence{2000};

/// The bytes on a descriptor, one read at a time, until end of input, a failed
/// read, or — checked before each read — 1 MiB delivered. A terminal gives an
/// empty payload at once: nobody is going to type a hook payload. A writer that
/// keeps the pipe open without writing ends it after `silence`: hooks run under
/// the agent's own time limit, and a hung hook is worse than a lost event.
/// One 64 KiB buffer is reused, so a large payload costs no more memory.
class HookInput : public PayloadPieces {
 public:
  explicit HookInput(int fd, std::chrono::milliseconds silence = kHookInputSilence);
  std::string_view next() override;

 private:
  int fd_;
  std::chrono::milliseconds silence_;
  size_t delivered_ = 0;
  bool ended_ = false;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace glimmet
