// A running scan's progress on a terminal's standard error: one line, redrawn
// in place a few times a second once the scan has taken a moment, and erased
// when it ends, so the report that follows starts on a clean line.
#pragma once

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "core/disk/disk_scan_progress.h"

namespace glimmet {

class ScanProgressDisplay {
 public:
  ScanProgressDisplay(std::ostream& terminal, const DiskScanProgress& progress, std::string home,
                      size_t columns);
  ~ScanProgressDisplay();
  ScanProgressDisplay(const ScanProgressDisplay&) = delete;
  ScanProgressDisplay& operator=(const ScanProgressDisplay&) = delete;

 private:
  void run();

  std::ostream& terminal_;
  const DiskScanProgress& progress_;
  const std::string home_;
  const size_t columns_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
  std::thread thread_;
};

}  // namespace glimmet
