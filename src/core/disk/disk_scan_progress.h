// How far a running scan has got, written by its walkers and read by whoever
// shows it, from another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace glimmet {

class DiskScanProgress {
 public:
  struct Snapshot {
    uint64_t foldersSoFar = 0;
    uint64_t bytesSoFar = 0;
    std::string root;  ///< the item or top-level folder the walk entered last
  };

  void folderListed() { folders_.fetch_add(1, std::memory_order_relaxed); }
  void counted(uint64_t bytes) { bytes_.fetch_add(bytes, std::memory_order_relaxed); }
  void entered(const std::string& root) {
    const std::lock_guard lock(mutex_);
    root_ = root;
  }

  Snapshot snapshot() const {
    const std::lock_guard lock(mutex_);
    return {folders_.load(std::memory_order_relaxed), bytes_.load(std::memory_order_relaxed),
            root_};
  }

 private:
  std::atomic<uint64_t> folders_{0};
  std::atomic<uint64_t> bytes_{0};
  mutable std::mutex mutex_;
  std::string root_;
};

}  // namespace glimmet
