#include "platform/sockets.h"

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/linux/tcp_table_parse.h"

namespace glimmet::platform {

std::vector<TcpListenRow> listeningSockets(const ProcRoot& root) {
  // Busy servers have tens of thousands of rows; the cap only guards the reader.
  constexpr std::size_t kTableLimit = 256 * 1024 * 1024;
  std::vector<TcpListenRow> rows;
  for (const auto& [table, family] :
       {std::pair{"net/tcp", AF_INET}, std::pair{"net/tcp6", AF_INET6}}) {
    const auto text = readFile(root / table, kTableLimit);
    if (!text) continue;
    auto parsed = procfs::parseTcpTable(*text, family);
    rows.insert(rows.end(), parsed.begin(), parsed.end());
  }
  return rows;
}

std::string userName(uid_t uid) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

}  // namespace glimmet::platform
