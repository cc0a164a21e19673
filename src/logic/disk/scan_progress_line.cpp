// scanProgressLine: counts first, then as much of the path as fits.
#include "logic/disk/scan_progress_line.h"

#include "core/output/byte_format.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

// 1234567 -> "1,234,567"
std::string grouped(uint64_t value) {
  auto digits = std::to_string(value);
  for (auto at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// Code points, not bytes: the line is measured in columns.
size_t columnsOf(std::string_view text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The last `columns` columns of `text`, cut on a character boundary.
std::string_view tail(std::string_view text, size_t columns) {
  size_t kept = 0, at = text.size();
  while (at > 0) {
    size_t start = at - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    if (++kept > columns) break;
    at = start;
  }
  return text.substr(at);
}

}  // namespace

std::string scanProgressLine(const DiskScanProgress::Snapshot& progress, std::string_view home,
                             size_t columns) {
  std::string line = "Scanning: " + grouped(progress.foldersSoFar) +
                     (progress.foldersSoFar == 1 ? " folder, " : " folders, ") +
                     fileStyleBytes(progress.bytesSoFar) + " so far";
  if (columnsOf(line) > columns) return std::string(tail(line, columns));
  if (progress.root.empty()) return line;
  const std::string separator = " · ";
  const auto path = tildePath(progress.root, home);
  const size_t room = columns - columnsOf(line);
  if (room < columnsOf(separator) + 8) return line;
  const size_t forPath = room - columnsOf(separator);
  line += separator;
  if (columnsOf(path) <= forPath)
    line += path;
  else
    line += "…" + std::string(tail(path, forPath - 1));
  return line;
}

}  // namespace glimmet
