#include "platform/linux/procfs_parse.h"

#include <charconv>
#include <limits>

namespace glimmet::platform::procfs {
namespace {

// Takes the next space-separated field off the front of `text`.
std::string_view nextField(std::string_view& text) {
  const auto start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    text = {};
    return {};
  }
  text.remove_prefix(start);
  const auto end = text.find(' ');
  const std::string_view field = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end);
  return field;
}

template <typename T>
std::optional<T> toNumber(std::string_view field) {
  T value{};
  const auto* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (field.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
  return value;
}

std::string_view trimNewline(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<StatFields> parseStat(std::string_view text) {
  text = trimNewline(text);
  // The command name is between the first '(' and the last ')': it may itself
  // contain both, but nothing after it can.
  const auto open = text.find('(');
  const auto close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  StatFields fields;
  const auto pid = toNumber<pid_t>(text.substr(0, open == 0 ? 0 : open - 1));
  if (!pid || *pid <= 0) return std::nullopt;
  fields.pid = *pid;
  fields.comm = std::string(text.substr(open + 1, close - open - 1));

  std::string_view rest = text.substr(close + 1);
  // Field numbers as in proc(5), the state being field 3.
  std::vector<std::string_view> tail;
  tail.reserve(22);
  for (int i = 3; i <= 24; ++i) {
    const auto field = nextField(rest);
    if (field.empty()) return std::nullopt;
    tail.push_back(field);
  }
  const auto at = [&](int number) { return tail[static_cast<std::size_t>(number - 3)]; };
  if (at(3).size() != 1) return std::nullopt;
  fields.state = at(3)[0];
  const auto ppid = toNumber<pid_t>(at(4));
  const auto pgid = toNumber<pid_t>(at(5));
  const auto sid = toNumber<pid_t>(at(6));
  const auto tty = toNumber<std::int64_t>(at(7));
  const auto flags = toNumber<std::uint64_t>(at(9));
  const auto start = toNumber<std::uint64_t>(at(22));
  const auto rss = toNumber<std::int64_t>(at(24));
  const auto userTicks = toNumber<std::uint64_t>(at(14));
  const auto systemTicks = toNumber<std::uint64_t>(at(15));
  if (!ppid || !pgid || !sid || !tty || !flags || !start || !rss || !userTicks || !systemTicks)
    return std::nullopt;
  fields.ppid = *ppid;
  fields.pgid = *pgid;
  fields.sid = *sid;
  fields.ttyNr = *tty;
  fields.flags = *flags;
  fields.startTicks = *start;
  fields.rssPages = *rss;
  fields.cpuTicks = *userTicks + *systemTicks;
  return fields;
}

StatusFields parseStatus(std::string_view text) {
  StatusFields fields;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    // Values are tab- or space-separated numbers, memory ones followed by "kB".
    std::vector<std::string_view> numbers;
    std::size_t i = 0;
    while (i < value.size()) {
      while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
      std::size_t j = i;
      while (j < value.size() && value[j] != ' ' && value[j] != '\t') ++j;
      if (j > i) numbers.push_back(value.substr(i, j - i));
      i = j;
    }
    if (numbers.empty()) continue;
    if (key == "Uid") {
      if (numbers.size() >= 3) {
        fields.realUID = toNumber<uid_t>(numbers[0]);
        fields.effectiveUID = toNumber<uid_t>(numbers[1]);
        fields.savedUID = toNumber<uid_t>(numbers[2]);
      }
    } else if (key == "VmRSS") {
      fields.vmRssKiB = toNumber<std::uint64_t>(numbers[0]).value_or(0);
    } else if (key == "RssAnon") {
      fields.rssAnonKiB = toNumber<std::uint64_t>(numbers[0]).value_or(0);
    } else if (key == "RssShmem") {
      fields.rssShmemKiB = toNumber<std::uint64_t>(numbers[0]).value_or(0);
    } else if (key == "VmSwap") {
      fields.vmSwapKiB = toNumber<std::uint64_t>(numbers[0]).value_or(0);
    }
  }
  return fields;
}

std::vector<std::string> splitNulList(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    const auto end = text.find('\0');
    items.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return items;
}

std::vector<std::string> splitEnvironment(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    const auto end = text.find('\0');
    const std::string_view item = text.substr(0, end);
    if (item.empty()) break;
    items.emplace_back(item);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return items;
}

std::optional<std::uint64_t> parseBootTime(std::string_view procStat) {
  while (!procStat.empty()) {
    const auto end = procStat.find('\n');
    std::string_view line = procStat.substr(0, end);
    procStat.remove_prefix(end == std::string_view::npos ? procStat.size() : end + 1);
    if (line.starts_with("btime ")) {
      line.remove_prefix(6);
      return toNumber<std::uint64_t>(trimNewline(line));
    }
  }
  return std::nullopt;
}

std::string stripDeletedSuffix(std::string path) {
  constexpr std::string_view kSuffix = " (deleted)";
  if (std::string_view(path).ends_with(kSuffix)) path.resize(path.size() - kSuffix.size());
  return path;
}

ProcessStatus processStatusOf(char state) {
  switch (state) {
    case 'R':
    case 'S':
    case 'D':
    case 'I':
      return ProcessStatus::running;
    case 'T':
    case 't':
      return ProcessStatus::stopped;
    case 'Z':
      return ProcessStatus::zombie;
    default:
      return ProcessStatus::other;
  }
}

}  // namespace glimmet::platform::procfs
