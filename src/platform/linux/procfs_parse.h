// Pure parsers for the text of /proc files. They take the bytes already read
// and never touch the file system, so that recorded text, including hostile
// process names, can be tested without a live process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_info.h"

namespace glimmet::platform::procfs {

/// The fields of /proc/<pid>/stat that the snapshot needs.
struct StatFields {
  pid_t pid = 0;
  std::string comm;  ///< the kernel's command name, at most 15 bytes, may hold spaces and ')'
  char state = '?';
  pid_t ppid = 0;
  pid_t pgid = 0;
  pid_t sid = 0;
  std::int64_t ttyNr = 0;
  std::uint64_t flags = 0;
  std::uint64_t startTicks = 0;  ///< clock ticks since boot
  std::int64_t rssPages = 0;
  std::uint64_t cpuTicks = 0;  ///< user and system time so far (utime + stime)
};

/// Parses one stat line; nothing when it is truncated or malformed.
std::optional<StatFields> parseStat(std::string_view text);

/// The fields of /proc/<pid>/status that the snapshot needs.
struct StatusFields {
  // The Uid: line: real, effective, saved (and filesystem) uid. A setuid program
  // shows the user as its real uid and its owner as the effective and saved ones.
  std::optional<uid_t> realUID;
  std::optional<uid_t> effectiveUID;
  std::optional<uid_t> savedUID;
  std::uint64_t vmRssKiB = 0;
  std::uint64_t rssAnonKiB = 0;
  std::uint64_t rssShmemKiB = 0;
  std::uint64_t vmSwapKiB = 0;
};

/// Parses status text; missing lines (zombies have no Vm* lines) leave zeros.
StatusFields parseStatus(std::string_view text);

/// Splits NUL-separated text (cmdline); a missing final NUL is tolerated and
/// empty strings between separators are kept as empty arguments.
std::vector<std::string> splitNulList(std::string_view text);

/// Splits environ text, stopping at the first empty string.
std::vector<std::string> splitEnvironment(std::string_view text);

/// The btime line of /proc/stat: boot time in whole seconds since 1970.
std::optional<std::uint64_t> parseBootTime(std::string_view procStat);

/// Removes the " (deleted)" suffix the kernel adds to a link whose target was unlinked.
std::string stripDeletedSuffix(std::string path);

/// The status a state letter of stat stands for.
ProcessStatus processStatusOf(char state);

/// PF_KTHREAD in the stat flags.
inline constexpr std::uint64_t kKernelThreadFlag = 0x00200000;

}  // namespace glimmet::platform::procfs
