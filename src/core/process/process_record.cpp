#include "core/process/process_record.h"

namespace glimmet {

std::string_view statusName(ProcessStatus status) {
  switch (status) {
    case ProcessStatus::running:
      return "running";
    case ProcessStatus::stopped:
      return "stopped";
    case ProcessStatus::zombie:
      return "zombie";
    case ProcessStatus::other:
      break;
  }
  return "other";
}

std::string ProcessRecord::commandLine() const {
  if (argv.empty()) return name;
  std::string line = argv.front();
  for (size_t i = 1; i < argv.size(); ++i) line.append(" ").append(argv[i]);
  return line;
}

double ProcessRecord::age(std::chrono::system_clock::time_point now) const {
  const auto nowMicros =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  return (static_cast<double>(nowMicros) - static_cast<double>(identity.startTime)) / 1e6;
}

std::chrono::system_clock::time_point ProcessRecord::startDate() const {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::microseconds(static_cast<std::int64_t>(identity.startTime))));
}

std::optional<std::string_view> ProcessRecord::environmentValue(std::string_view variable) const {
  for (const auto& entry : environment) {
    const std::string_view text(entry);
    if (text.size() > variable.size() && text.starts_with(variable) &&
        text[variable.size()] == '=') {
      return text.substr(variable.size() + 1);
    }
  }
  return std::nullopt;
}

ProcessRecord recordFromSummary(const platform::KernelSummary& summary) {
  ProcessRecord record;
  record.identity = {summary.pid, summary.startTime};
  record.ppid = summary.ppid;
  record.pgid = summary.pgid;
  record.uid = summary.uid;
  record.status = summary.status;
  record.name = summary.name;
  record.hasControllingTTY = summary.hasControllingTTY;
  return record;
}

}  // namespace glimmet
