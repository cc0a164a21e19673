// Listening sockets come from the kernel's socket-diagnostics netlink family,
// asked for the listening state only: the kernel then walks just its listening
// hash, where the text tables of /proc/net walk every connection bucket, which
// cost most of a run on a host with a large connection table. The text tables
// remain for a crafted process root (tests) and for a kernel without the
// diagnostics family.
#include "platform/sockets.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "platform/files.h"
#include "platform/linux/descriptor_io.h"
#include "platform/linux/tcp_table_parse.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

std::vector<TcpListenRow> fromTextTable(const ProcRoot& root, const char* table, int family) {
  // Busy servers have tens of thousands of rows; the cap only guards the reader.
  constexpr std::size_t kTableLimit = 256 * 1024 * 1024;
  const auto text = readFile(root / table, kTableLimit);
  if (!text) return {};
  return procfs::parseTcpTable(*text, family);
}

TcpListenRow rowOf(const inet_diag_msg& message) {
  TcpListenRow row;
  row.family = message.idiag_family;
  row.port = ntohs(message.id.idiag_sport);
  row.uid = message.idiag_uid;
  row.inode = message.idiag_inode;
  std::memcpy(row.address.data(), message.id.idiag_src, row.address.size());
  // An IPv6 socket bound to a mapped IPv4 address is listed as IPv4, as the
  // text tables are read.
  static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (row.family == AF_INET6 &&
      std::memcmp(row.address.data(), kMappedPrefix, sizeof kMappedPrefix) == 0) {
    std::memmove(row.address.data(), row.address.data() + 12, 4);
    std::memset(row.address.data() + 4, 0, 12);
    row.family = AF_INET;
  }
  return row;
}

// One dump of the listening TCP sockets of `family`; nothing when the kernel
// has no diagnostics for it or the exchange fails part way.
std::optional<std::vector<TcpListenRow>> fromDiagnostics(int socketFd, int family) {
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.request.sdiag_family = static_cast<std::uint8_t>(family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = 1U << TCP_LISTEN;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (retryOnInterrupt([&] {
        return ::sendto(socketFd, &message, sizeof message, 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
      }) != static_cast<ssize_t>(sizeof message))
    return std::nullopt;

  std::vector<TcpListenRow> rows;
  char buffer[32 * 1024];
  for (;;) {
    const ssize_t got =
        retryOnInterrupt([&] { return ::recv(socketFd, buffer, sizeof buffer, 0); });
    if (got <= 0) return std::nullopt;
    // Messages follow one another at 4-byte alignment; each is copied out, so
    // nothing is read through a pointer of the wrong type.
    const auto length = static_cast<std::size_t>(got);
    for (std::size_t offset = 0; offset + sizeof(nlmsghdr) <= length;) {
      nlmsghdr header{};
      std::memcpy(&header, buffer + offset, sizeof header);
      if (header.nlmsg_len < sizeof header || offset + header.nlmsg_len > length)
        return std::nullopt;
      if (header.nlmsg_type == NLMSG_DONE) return rows;
      if (header.nlmsg_type == NLMSG_ERROR) return std::nullopt;
      const std::size_t payload = NLMSG_ALIGN(sizeof(nlmsghdr));
      if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY &&
          header.nlmsg_len >= payload + sizeof(inet_diag_msg)) {
        inet_diag_msg diag{};
        std::memcpy(&diag, buffer + offset + payload, sizeof diag);
        if (diag.idiag_state == TCP_LISTEN) rows.push_back(rowOf(diag));
      }
      offset += NLMSG_ALIGN(header.nlmsg_len);
    }
  }
}

}  // namespace

std::vector<TcpListenRow> listeningSockets(const ProcRoot& root) {
  std::vector<TcpListenRow> rows;
  const UniqueFd diagnostics(root.folder() == ProcRoot::system().folder()
                                 ? ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)
                                 : -1);
  for (const auto& [table, family] :
       {std::pair{"net/tcp", AF_INET}, std::pair{"net/tcp6", AF_INET6}}) {
    auto parsed = diagnostics ? fromDiagnostics(diagnostics.get(), family) : std::nullopt;
    if (!parsed) parsed = fromTextTable(root, table, family);
    rows.insert(rows.end(), parsed->begin(), parsed->end());
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
