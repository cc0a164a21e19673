#include "platform/linux/tcp_table_parse.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <cstring>
#include <optional>

namespace glimmet::platform::procfs {
namespace {

template <typename T>
std::optional<T> number(std::string_view text, int base) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) result.push_back(line.substr(i, j - i));
    i = j;
  }
  return result;
}

// The kernel prints each 32-bit word of the address in host byte order.
bool decodeAddress(std::string_view hex, TcpListenRow& row) {
  if (hex.size() != 8 && hex.size() != 32) return false;
  for (std::size_t word = 0; word * 8 < hex.size(); ++word) {
    const auto value = number<std::uint32_t>(hex.substr(word * 8, 8), 16);
    if (!value) return false;
    std::memcpy(row.address.data() + word * 4, &*value, 4);
  }
  if (hex.size() == 32) {
    static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(row.address.data(), kMappedPrefix, sizeof kMappedPrefix) == 0) {
      std::memmove(row.address.data(), row.address.data() + 12, 4);
      std::memset(row.address.data() + 4, 0, 12);
      row.family = AF_INET;
    }
  }
  return true;
}

}  // namespace

std::vector<TcpListenRow> parseTcpTable(std::string_view text, int family) {
  constexpr std::string_view kListen = "0A";
  std::vector<TcpListenRow> rows;
  while (!text.empty()) {
    const auto end = text.find('\n');
    // Only a line ended by its newline is whole; a read cut short loses the last.
    if (end == std::string_view::npos) break;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const auto columns = fields(line);
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode
    if (columns.size() < 10 || columns[3] != kListen) continue;
    const auto colon = columns[1].find(':');
    // An IPv4 table holds 8 hex digits of address, an IPv6 table 32.
    if (colon != (family == AF_INET ? 8u : 32u)) continue;
    TcpListenRow row;
    row.family = family;
    const auto port = number<std::uint16_t>(columns[1].substr(colon + 1), 16);
    const auto uid = number<uid_t>(columns[7], 10);
    const auto inode = number<std::uint64_t>(columns[9], 10);
    if (!port || !uid || !inode || !decodeAddress(columns[1].substr(0, colon), row)) continue;
    row.port = *port;
    row.uid = *uid;
    row.inode = *inode;
    rows.push_back(row);
  }
  return rows;
}

}  // namespace glimmet::platform::procfs
