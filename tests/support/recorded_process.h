// Process records of a recorded machine, for the tests of the pure logic: the
// programs of user 1000 under /home/me, each started 10,000 s before kNow
// (plus its pid, in microseconds, so that no two share a start time).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/process/process_record.h"

namespace glimmet::testing::recorded {

inline constexpr uid_t kMe = 1000;
inline const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));
inline constexpr std::uint64_t kLongAgo = 1'999'990'000ULL * 1'000'000;

inline ProcessRecord process(pid_t pid, pid_t ppid, std::vector<std::string> argv, uid_t uid,
                             std::uint64_t footprint) {
  ProcessRecord r;
  r.identity = {pid, kLongAgo + static_cast<std::uint64_t>(pid)};
  r.ppid = ppid;
  r.uid = uid;
  r.name = argv.front().substr(argv.front().rfind('/') + 1);
  r.argv = std::move(argv);
  r.path = "/home/me/bin/" + r.name;
  r.cwd = "/home/me/shop";
  r.footprint = footprint;
  return r;
}

}  // namespace glimmet::testing::recorded
