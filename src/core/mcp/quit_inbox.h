// The quit inbox where request_quit leaves requests and where their answers
// are written back: every read-modify-write under mcp-inbox.lock, the file
// replaced atomically, and a file that isn't a list of requests left exactly
// as it is.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/files.h"

namespace glimmet {

/// Far above any inbox the application lets grow; a larger file is not ours to
/// rewrite blindly.
inline constexpr std::size_t kMaxQuitInboxBytes = 32 * 1024 * 1024;

class QuitInbox {
 public:
  explicit QuitInbox(std::filesystem::path folder) : folder_(std::move(folder)) {}

  /// Reads the array under the lock, hands it to `change`, and replaces the
  /// file atomically when `change` returns true, all before the lock is let
  /// go, so requests filed meanwhile are never lost. A missing inbox or
  /// shared folder is an empty array, and nothing is created. Throws
  /// CommandFailure (status 3) when the inbox isn't a JSON array or can't be
  /// read (the file then stays as it is), when it can't be written, or when
  /// another program keeps it locked.
  void update(const std::function<bool(nlohmann::json& inbox)>& change) const;

  /// Held while one answer is carried out, so that two answers to a request
  /// (a terminal and the companion, say) never both act on it. Filing and
  /// listing don't wait for it. Nothing without a shared folder: then there is
  /// no request to answer, and nothing is created. Throws CommandFailure
  /// (status 3) when another answer keeps it.
  std::optional<platform::LockedFile> holdForAnswer() const;

 private:
  std::filesystem::path folder_;
};

}  // namespace glimmet
