// ScanProgressDisplay: a thread that redraws one line until told to stop.
#include "app/scan_progress_display.h"

#include <chrono>

#include "logic/disk/scan_progress_line.h"

namespace glimmet {
namespace {

// A scan that ends sooner shows nothing at all rather than a flash.
constexpr auto kFirstShown = std::chrono::milliseconds(300);
constexpr auto kRedrawn = std::chrono::milliseconds(150);
constexpr std::string_view kEraseLine = "\r\x1b[K";

}  // namespace

ScanProgressDisplay::ScanProgressDisplay(std::ostream& terminal, const DiskScanProgress& progress,
                                         std::string home, size_t columns)
    : terminal_(terminal),
      progress_(progress),
      home_(std::move(home)),
      // The last column stays free: writing there makes some terminals wrap.
      columns_(columns > 1 ? columns - 1 : 1),
      thread_([this] { run(); }) {}

ScanProgressDisplay::~ScanProgressDisplay() {
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (shown_) terminal_ << kEraseLine << std::flush;
}

void ScanProgressDisplay::run() {
  std::unique_lock lock(mutex_);
  if (wake_.wait_for(lock, kFirstShown, [this] { return done_; })) return;
  do {
    terminal_ << kEraseLine << scanProgressLine(progress_.snapshot(), home_, columns_)
              << std::flush;
    shown_ = true;
  } while (!wake_.wait_for(lock, kRedrawn, [this] { return done_; }));
}

}  // namespace glimmet
