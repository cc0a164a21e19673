// How busy the CPUs and the disk under one folder were while a command ran:
// what tells whether a walk is bound by the CPU, by the disk, or by how few
// reads it keeps in flight (both partly idle). Read from /proc/stat and the
// block device's own counters in sysfs; a figure that can't be read is left 0.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace glimmet::bench {

struct MachineCounters {
  long long cpuBusy = 0, cpuTotal = 0;  ///< jiffies, all CPUs together
  long long diskReads = 0, diskBusyMs = 0;
};

// The block device holding `path` (a partition has counters of its own).
inline std::string blockStatFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
         std::to_string(minor(info.st_dev)) + "/stat";
}

inline MachineCounters readCounters(const std::string& blockStat) {
  MachineCounters counters;
  std::ifstream cpu("/proc/stat");
  std::string label;
  long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  if (cpu >> label >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal) {
    counters.cpuBusy = user + nice + system + irq + softirq;
    counters.cpuTotal = counters.cpuBusy + idle + iowait + steal;
  }
  // Fields: reads, reads merged, sectors read, ms reading, the same four for
  // writes, requests in flight, ms with any in flight, ...
  std::ifstream disk(blockStat);
  long long field[10] = {};
  for (auto& value : field)
    if (!(disk >> value)) return counters;
  counters.diskReads = field[0];
  counters.diskBusyMs = field[9];
  return counters;
}

// Sums over the runs of one command.
class LoadTally {
 public:
  void add(const MachineCounters& before, const MachineCounters& after, double milliseconds) {
    cpuBusy_ += after.cpuBusy - before.cpuBusy;
    cpuTotal_ += after.cpuTotal - before.cpuTotal;
    diskReads_ += after.diskReads - before.diskReads;
    diskBusyMs_ += after.diskBusyMs - before.diskBusyMs;
    milliseconds_ += milliseconds;
    ++runs_;
  }

  std::string describe() const {
    if (runs_ == 0 || cpuTotal_ == 0) return "not read";
    char text[160];
    std::snprintf(text, sizeof text, "CPUs %.0f%% busy, disk %.0f%% busy, %lld reads a run",
                  100.0 * static_cast<double>(cpuBusy_) / static_cast<double>(cpuTotal_),
                  100.0 * static_cast<double>(diskBusyMs_) / milliseconds_,
                  diskReads_ / runs_);
    return text;
  }

 private:
  long long cpuBusy_ = 0, cpuTotal_ = 0, diskReads_ = 0, diskBusyMs_ = 0;
  double milliseconds_ = 0;
  long long runs_ = 0;
};

}  // namespace glimmet::bench
