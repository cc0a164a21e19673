// Listing /proc through one descriptor kept open (rewound and read with
// getdents64, whose entries carry the inode), and stat files opened relative to
// it: no path is built per process beyond "<pid>/stat", and nothing allocates
// per entry.
#include "platform/process_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

#include "platform/linux/descriptor_io.h"
#include "platform/linux/procfs_parse.h"

namespace glimmet::platform {
namespace {

// Holds a few hundred entries per call; a larger table just takes more calls.
constexpr std::size_t kListingBuffer = 32 * 1024;
// A stat line is a few hundred bytes; the name in it is at most 64.
constexpr std::size_t kStatBuffer = 1024;

}  // namespace

ProcessScanner::ProcessScanner(ProcRoot root)
    : root_(std::move(root)),
      table_(root_),
      rootFd_(retryOnInterrupt(
          [&] { return ::open(root_.folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); })),
      buffer_(kListingBuffer) {}

bool ProcessScanner::list(std::vector<ListedProcess>& out) {
  out.clear();
  if (!rootFd_ || ::lseek(rootFd_.get(), 0, SEEK_SET) != 0) return false;
  for (;;) {
    const ssize_t got = retryOnInterrupt(
        [&] { return ::getdents64(rootFd_.get(), buffer_.data(), buffer_.size()); });
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t offset = 0; offset < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer_.data() + offset);
      offset += entry->d_reclen;
      const std::string_view name(entry->d_name);
      pid_t pid = 0;
      const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
      if (error == std::errc{} && end == name.data() + name.size() && pid > 0)
        out.push_back({pid, static_cast<std::uint64_t>(entry->d_ino)});
    }
  }
}

std::optional<ProcessStat> ProcessScanner::stat(pid_t pid) const {
  if (!rootFd_ || pid <= 0) return std::nullopt;
  char path[32];
  const auto [end, error] = std::to_chars(path, path + sizeof path - 6, pid);
  if (error != std::errc{}) return std::nullopt;
  std::string_view("/stat").copy(end, 5);
  end[5] = '\0';
  const UniqueFd fd(
      retryOnInterrupt([&] { return ::openat(rootFd_.get(), path, O_RDONLY | O_CLOEXEC); }));
  if (!fd) return std::nullopt;
  char text[kStatBuffer];
  const ssize_t got = retryOnInterrupt([&] { return ::read(fd.get(), text, sizeof text); });
  if (got <= 0) return std::nullopt;
  const auto fields = procfs::parseStat(std::string_view(text, static_cast<std::size_t>(got)));
  if (!fields || fields->pid != pid) return std::nullopt;
  ProcessStat out;
  out.pid = fields->pid;
  out.ppid = fields->ppid;
  out.pgid = fields->pgid;
  out.sid = fields->sid;
  out.status = procfs::processStatusOf(fields->state);
  out.name = fields->comm;
  out.startTime = table_.startTimeFromTicks(fields->startTicks);
  out.hasControllingTTY = fields->sid == fields->pid && fields->ttyNr != 0;
  out.kernelThread = (fields->flags & procfs::kKernelThreadFlag) != 0;
  return out;
}

}  // namespace glimmet::platform
