// What measuring one path yields: allocated bytes, the part no other tree
// shares, files, the newest change, per-child sizes and what got in the way.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "core/output/iso8601.h"
#include "platform/file_identity.h"

namespace glimmet {

/// A regular file with two or more links, as one walk met it.
struct MultiLink {
  uint64_t bytes = 0;
  uint64_t links = 0;
  uint64_t seen = 0;

  bool operator==(const MultiLink&) const = default;
};

struct Measurement {
  uint64_t bytes = 0;
  uint64_t uniqueBytes = 0;
  uint64_t files = 0;
  std::optional<SystemTime> newest;
  bool noAccess = false;
  bool containsGit = false;
  bool cancelled = false;
  std::map<std::string, uint64_t> children;
  /// Files with links outside the tree, kept so that the scanner can share their
  /// bytes out between the items that hold them.
  std::map<FileIdentity, MultiLink> multiLinks;
};

/// One flag per scan, shared by every walk of it; walks check it per entry.
class CancelFlag {
 public:
  static std::shared_ptr<CancelFlag> make() { return std::make_shared<CancelFlag>(); }
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool isCancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace glimmet
