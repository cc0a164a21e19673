// The process table over procfs. Every file of one process is read through one
// O_DIRECTORY descriptor on /proc/<pid>: the kernel ties that descriptor to the
// incarnation, so reads fail with ESRCH once it exits, even if the pid is reused.
#include "platform/process_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/linux/procfs_links.h"
#include "platform/linux/procfs_parse.h"

namespace glimmet::platform {
namespace {

using procfs::DirectoryStream;
using procfs::linkTargetDeleted;
using procfs::readLinkAt;

// Status text is small; cmdline and environ are bounded by what exec accepts.
constexpr std::size_t kSmallFileLimit = 64 * 1024;

// Asked once: sysconf is a system call here, and a snapshot reads two argument
// files for every process.
std::size_t argumentLimit() {
  static const std::size_t limit = [] {
    const long value = sysconf(_SC_ARG_MAX);
    return value > 0 ? static_cast<std::size_t>(value) : std::size_t{2 * 1024 * 1024};
  }();
  return limit;
}

std::optional<std::string> readAt(int directory, const char* name, std::size_t limit) {
  const UniqueFd fd(openat(directory, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return std::nullopt;
  std::string bytes;
  char buffer[8192];
  while (bytes.size() < limit) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (bytes.size() > limit) bytes.resize(limit);
  return bytes;
}

// What the stat line tells of a process; its owner comes from elsewhere.
void fillFromStat(KernelSummary& summary, const procfs::StatFields& stat,
                  const ProcessTable& table) {
  summary.pid = stat.pid;
  summary.ppid = stat.ppid;
  summary.pgid = stat.pgid;
  summary.sid = stat.sid;
  summary.status = procfs::processStatusOf(stat.state);
  summary.name = stat.comm;
  summary.startTime = table.startTimeFromTicks(stat.startTicks);
  summary.hasControllingTTY = stat.sid == stat.pid && stat.ttyNr != 0;
}

// The owner as the status text gives it; false when it lacks one of the uids.
bool fillOwner(KernelSummary& summary, const procfs::StatusFields& status) {
  if (!status.realUID || !status.effectiveUID || !status.savedUID) return false;
  summary.uid = *status.effectiveUID;
  summary.realUID = *status.realUID;
  summary.savedUID = *status.savedUID;
  return true;
}

std::string_view baseName(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

ProcessTable::ProcessTable(ProcRoot root) : root_(std::move(root)) {
  if (const auto stat = readAt(AT_FDCWD, (root_ / "stat").c_str(), 1024 * 1024)) {
    if (const auto boot = procfs::parseBootTime(*stat)) bootTimeMicros_ = *boot * 1'000'000;
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  if (ticks > 0) microsPerTick_ = 1'000'000 / static_cast<std::uint64_t>(ticks);
}

std::uint64_t ProcessTable::startTimeFromTicks(std::uint64_t ticksSinceBoot) const {
  return bootTimeMicros_ + ticksSinceBoot * microsPerTick_;
}

std::vector<pid_t> ProcessTable::allPIDs() const {
  std::vector<pid_t> pids;
  const DirectoryStream directory(opendir(root_.folder().c_str()));
  if (!directory) return pids;
  while (const dirent* entry = readdir(directory.get())) {
    const std::string_view name(entry->d_name);
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error == std::errc{} && end == name.data() + name.size() && pid > 0) pids.push_back(pid);
  }
  return pids;
}

std::optional<ProcessHandle> ProcessTable::open(pid_t pid) const {
  UniqueFd directory(::open(root_.processFolder(pid).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory) return std::nullopt;
  return ProcessHandle(pid, std::move(directory), *this);
}

std::optional<KernelReading> ProcessHandle::read() const {
  const auto statText = readAt(directory_.get(), "stat", kSmallFileLimit);
  if (!statText) return std::nullopt;
  const auto stat = procfs::parseStat(*statText);
  if (!stat || stat->pid != pid_ || (stat->flags & procfs::kKernelThreadFlag) != 0) {
    return std::nullopt;
  }
  const auto statusText = readAt(directory_.get(), "status", kSmallFileLimit);
  if (!statusText) return std::nullopt;
  const auto status = procfs::parseStatus(*statusText);
  KernelReading reading;
  // The owner of /proc/<pid> can read as root for non-dumpable tasks; the
  // uids of the status text are the ones that count.
  if (!fillOwner(reading.summary, status)) return std::nullopt;
  fillFromStat(reading.summary, *stat, *table_);
  reading.memory.footprint =
      (status.rssAnonKiB + status.rssShmemKiB + status.vmSwapKiB) * std::uint64_t{1024};
  reading.memory.resident = status.vmRssKiB * std::uint64_t{1024};
  reading.cpuTime = table_->durationFromTicks(stat->cpuTicks);
  return reading;
}

std::optional<KernelSummary> ProcessHandle::summary() const {
  // The stat line is some 300 bytes: one read on the stack does.
  const UniqueFd fd(openat(directory_.get(), "stat", O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return std::nullopt;
  char text[1024];
  ssize_t got = 0;
  do {
    got = ::read(fd.get(), text, sizeof text);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return std::nullopt;
  const auto stat = procfs::parseStat(std::string_view(text, static_cast<std::size_t>(got)));
  if (!stat || stat->pid != pid_ || (stat->flags & procfs::kKernelThreadFlag) != 0) {
    return std::nullopt;
  }
  struct stat folder {};
  if (::fstat(directory_.get(), &folder) != 0) return std::nullopt;
  KernelSummary summary;
  summary.uid = summary.realUID = summary.savedUID = folder.st_uid;
  if (folder.st_uid == 0) {
    const auto statusText = readAt(directory_.get(), "status", kSmallFileLimit);
    if (!statusText || !fillOwner(summary, procfs::parseStatus(*statusText))) return std::nullopt;
  }
  fillFromStat(summary, *stat, *table_);
  return summary;
}

std::optional<std::uint64_t> ProcessHandle::startTime() const {
  const auto statText = readAt(directory_.get(), "stat", kSmallFileLimit);
  if (!statText) return std::nullopt;
  const auto stat = procfs::parseStat(*statText);
  if (!stat || stat->pid != pid_) return std::nullopt;
  return table_->startTimeFromTicks(stat->startTicks);
}

std::optional<MemoryUsage> ProcessHandle::memory() const {
  const auto statusText = readAt(directory_.get(), "status", kSmallFileLimit);
  if (!statusText) return std::nullopt;
  const auto status = procfs::parseStatus(*statusText);
  return MemoryUsage{
      (status.rssAnonKiB + status.rssShmemKiB + status.vmSwapKiB) * std::uint64_t{1024},
      status.vmRssKiB * std::uint64_t{1024}};
}

std::optional<std::vector<std::string>> ProcessHandle::commandLine() const {
  const auto text = readAt(directory_.get(), "cmdline", argumentLimit());
  if (!text) return std::nullopt;
  return procfs::splitNulList(*text);
}

std::vector<std::string> ProcessHandle::environment() const {
  // environ needs ptrace access: the user's own non-dumpable processes (agents
  // holding keys, setgid programs) refuse it, and then have no environment.
  const auto text = readAt(directory_.get(), "environ", argumentLimit());
  if (!text) return {};
  return procfs::splitEnvironment(*text);
}

std::optional<std::string> ProcessHandle::executablePath() const {
  auto target = readLinkAt(directory_.get(), "exe");
  if (!target || target->empty()) return std::nullopt;
  if (linkTargetDeleted(directory_.get(), "exe", *target))
    return procfs::stripDeletedSuffix(*target);
  return target;
}

std::optional<ProcessArguments> ProcessHandle::arguments() const {
  const auto commandLine = readAt(directory_.get(), "cmdline", argumentLimit());
  if (!commandLine) return std::nullopt;
  ProcessArguments arguments;
  arguments.argv = procfs::splitNulList(*commandLine);
  // environ needs ptrace access: the user's own non-dumpable processes (agents
  // holding keys, setgid programs) refuse it, and then have no environment.
  if (const auto environment = readAt(directory_.get(), "environ", argumentLimit())) {
    arguments.environment = procfs::splitEnvironment(*environment);
  }
  return arguments;
}

std::optional<std::string> ProcessHandle::workingDirectory() const {
  const auto target = readLinkAt(directory_.get(), "cwd");
  if (!target || target->empty() || linkTargetDeleted(directory_.get(), "cwd", *target)) {
    return std::nullopt;
  }
  return target;
}

std::optional<std::string> ProcessHandle::resolvedPath(std::string_view path) const {
  if (path.empty()) return std::nullopt;
  // A relative path goes through this handle's own cwd link, so it is the folder
  // of this incarnation even if the pid was reused since: one realpath in all.
  // The descriptor is ours, so it is named in the kernel's /proc whatever root
  // the handle was opened in.
  const std::string start =
      path.front() == '/'
          ? std::string(path)
          : "/proc/self/fd/" + std::to_string(directory_.get()) + "/cwd/" + std::string(path);
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(start.c_str(), nullptr),
                                                             &std::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

std::vector<std::uint64_t> ProcessHandle::socketInodes() const {
  std::vector<std::uint64_t> inodes;
  const int fdDirectory = openat(directory_.get(), "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDirectory < 0) return inodes;
  const DirectoryStream listing(fdopendir(fdDirectory));
  if (!listing) {
    ::close(fdDirectory);
    return inodes;
  }
  constexpr std::string_view kPrefix = "socket:[";
  while (const dirent* entry = readdir(listing.get())) {
    if (entry->d_name[0] == '.') continue;
    const auto target = readLinkAt(fdDirectory, entry->d_name);
    // Without ptrace rights over the process every link refuses alike, so one
    // refusal ends the listing instead of costing a call per descriptor.
    if (!target && errno == EACCES) break;
    if (!target || !target->starts_with(kPrefix) || target->back() != ']') continue;
    const std::string_view digits =
        std::string_view(*target).substr(kPrefix.size(), target->size() - kPrefix.size() - 1);
    std::uint64_t inode = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), inode);
    if (error == std::errc{} && end == digits.data() + digits.size()) inodes.push_back(inode);
  }
  return inodes;
}

std::string completeProcessName(const std::string& kernelName, const std::vector<std::string>& argv,
                                const std::optional<std::string>& path) {
  constexpr std::size_t kKernelNameLimit = 15;
  if (kernelName.size() != kKernelNameLimit) return kernelName;
  const auto completes = [&](std::string_view candidate) {
    return candidate.size() > kernelName.size() && candidate.starts_with(kernelName);
  };
  if (!argv.empty() && completes(baseName(argv.front()))) {
    return std::string(baseName(argv.front()));
  }
  if (path && completes(baseName(*path))) return std::string(baseName(*path));
  return kernelName;
}

}  // namespace glimmet::platform
