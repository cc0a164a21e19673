#include "support/hostile_tree.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace glimmet::testing {

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

void bindUnixSocket(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.string().size() >= sizeof address.sun_path) throw std::runtime_error("socket path");
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool bound =
      fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  if (!bound) throw std::runtime_error("can't bind " + path.string());
}

// Root reads every folder whatever its mode: the folder goes to user 65534, as
// whom the walks then run, so that they meet the refusal.
void restrictFolder(const fs::path& path, mode_t mode) {
  if (::geteuid() == 0 && ::chown(path.c_str(), kNobody, kNobody) != 0) {
    throw std::runtime_error("can't give " + path.string() + " away");
  }
  if (::chmod(path.c_str(), mode) != 0) throw std::runtime_error("can't chmod " + path.string());
}

}  // namespace

std::vector<TreeEntry> makeHostileTree(const fs::path& root) {
  const fs::path outside = root.parent_path() / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "secret") << "never reached through a link";
  fs::create_directories(root / "line\nbreak");
  std::ofstream(root / "line\nbreak" / "inner\xff") << std::string(4096, 'i');
  std::ofstream(root / "bad\xff\xfe.txt") << "x";
  if (::mkfifo((root / "fifo").c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
  bindUnixSocket(root / "socket");
  fs::create_directory_symlink(outside, root / "to-outside");
  fs::create_directory_symlink(".", root / "loop");
  fs::create_directory_symlink("..", root / "up");
  fs::create_symlink("self", root / "self");
  fs::create_symlink("/nonexistent/glimmet-test", root / "dangling");
  return {{"dir", "line\nbreak"},
          {"file", "line\nbreak/inner\xff"},
          {"file", "bad\xff\xfe.txt"},
          {"other", "fifo"},
          {"other", "socket"},
          {"link", "to-outside"},
          {"link", "loop"},
          {"link", "up"},
          {"link", "self"},
          {"link", "dangling"}};
}

std::string describeEntry(std::string_view kind, std::string_view path) {
  std::string line(kind);
  line.push_back(' ');
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      line.push_back(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      line += escaped;
    }
  }
  return line;
}

std::string sortedLines(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const auto& line : lines) joined += line + "\n";
  return joined;
}

std::string kindName(platform::FileStatus::Kind kind) {
  switch (kind) {
    case platform::FileStatus::Kind::directory:
      return "dir";
    case platform::FileStatus::Kind::file:
      return "file";
    case platform::FileStatus::Kind::symlink:
      return "link";
    case platform::FileStatus::Kind::other:
      return "other";
  }
  return "?";
}

RestrictedTree::RestrictedTree(const fs::path& root) : root_(root) {
  fs::create_directories(root / "locked");
  fs::create_directories(root / "listable");
  std::ofstream(root / "visible.txt") << "v";
  std::ofstream(root / "locked/hidden.txt") << "h";
  std::ofstream(root / "listable/unstatable.txt") << "u";
  restrictFolder(root / "locked", 0);
  restrictFolder(root / "listable", 0444);
}

RestrictedTree::~RestrictedTree() {
  for (const char* folder : {"locked", "listable"}) ::chmod((root_ / folder).c_str(), 0700);
}

std::optional<std::string> runInChild(const std::function<std::string()>& body, int seconds) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(channel[0]);
    ::close(channel[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    ::close(channel[0]);
    // The default action of SIGALRM ends a child stuck in a walk.
    ::alarm(static_cast<unsigned>(seconds));
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(3);
    }
    const std::string result = body();
    for (std::size_t written = 0; written < result.size();) {
      const ssize_t got = ::write(channel[1], result.data() + written, result.size() - written);
      if (got <= 0) ::_exit(4);
      written += static_cast<std::size_t>(got);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string result;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(channel[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

}  // namespace glimmet::testing
