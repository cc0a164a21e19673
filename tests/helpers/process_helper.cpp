// The processes the tests start: each mode reports what the test needs (pids,
// ports) as one line on standard output, so tests need no fixed ports and no
// sleeps. Every mode ends when its parent test kills it or closes its input.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what) {
  std::perror(what);
  std::_Exit(2);
}

void report(const std::string& line) {
  const std::string text = line + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) fail("write");
}

// Blocks until standard input ends or a signal ends the process.
[[noreturn]] void waitForever() {
  char buffer[64];
  while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  while (true) pause();
}

int boundPortOf(int fd) {
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  return bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

// Listens on `address` (port 0: any free port) and reports the port unless told not to.
int listenOn(const std::string& address, bool reusePort = false, int port = 0,
             bool reportPort = true) {
  const bool v6 = address.find(':') != std::string::npos;
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  if (fd < 0) fail("socket");
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (reusePort) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr) != 1) fail("address");
    length = sizeof *in6;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &in4->sin_addr) != 1) fail("address");
    length = sizeof *in4;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) fail("bind");
  if (listen(fd, 16) != 0) fail("listen");
  if (reportPort) report(std::to_string(boundPortOf(fd)));
  return fd;
}

// Answers every connection with `reply` (nothing when empty) and keeps it open.
[[noreturn]] void serve(int listener, std::string_view reply) {
  signal(SIGPIPE, SIG_IGN);
  while (true) {
    const int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) continue;
    char request[512];
    if (!reply.empty()) {
      (void)read(connection, request, sizeof request);
      (void)write(connection, reply.data(), reply.size());
      close(connection);
    }
  }
}

int usage() {
  std::fputs(
      "modes: sleep | ignore-term | name NAME | spawn N | child-as WORD0 [WORDS] | "
      "exec-on-term PATH ARG0 [ARGS] | double-fork | setsid | "
      "listen ADDR | listen-fork ADDR | reuseport ADDR [PORT] | http ADDR | silent ADDR | "
      "banner ADDR | tls ADDR | agent [setsid] PATH [ARGS] [-- [setsid] PATH [ARGS]]... | "
      "notification-service CALLS_FILE [--no-name]\n",
      stderr);
  return 64;
}

}  // namespace

// tests/helpers/notification_service.cpp
int runNotificationService(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string_view mode = argv[1];
  const std::string value = argc > 2 ? argv[2] : "";
  if (mode == "notification-service") return runNotificationService(argc, argv);
  if (mode == "sleep") {
    report(std::to_string(getpid()));
    waitForever();
  }
  if (mode == "ignore-term") {
    signal(SIGTERM, SIG_IGN);
    report(std::to_string(getpid()));
    waitForever();
  }
  if (mode == "name") {
    prctl(PR_SET_NAME, value.c_str());
    report(std::to_string(getpid()));
    waitForever();
  }
  if (mode == "spawn") {
    // Reports "parent child1 child2 ..."; the children sleep until killed.
    std::string line = std::to_string(getpid());
    for (int i = 0; i < std::atoi(value.c_str()); ++i) {
      const pid_t child = fork();
      if (child < 0) fail("fork");
      if (child == 0) waitForever();
      line += " " + std::to_string(child);
    }
    report(line);
    waitForever();
  }
  if (mode == "child-as") {
    // Reports "parent child": the child is this helper sleeping under the command
    // line "WORD0 sleep WORDS...", so matching sees a realistic tree.
    const pid_t child = fork();
    if (child < 0) fail("fork");
    if (child == 0) {
      std::vector<char*> words = {argv[2], const_cast<char*>("sleep")};
      for (int i = 3; i < argc; ++i) words.push_back(argv[i]);
      words.push_back(nullptr);
      // The child reports too, in sleep mode: off the shared pipe, or its line
      // could come before the parent's "parent child".
      const int devNull = open("/dev/null", O_WRONLY);
      if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0) fail("dev/null");
      execv("/proc/self/exe", words.data());
      fail("execv");
    }
    report(std::to_string(getpid()) + " " + std::to_string(child));
    waitForever();
  }
  if (mode == "exec-on-term" && argc > 3) {
    // Reports "parent child": the parent dies on SIGTERM, the child instead
    // becomes PATH (with ARG0 ARGS as its argv), as a member that execs a setuid
    // or protected program during the grace period does.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);  // before fork: no SIGTERM can be lost
    const pid_t child = fork();
    if (child < 0) fail("fork");
    if (child == 0) {
      int received = 0;
      while (sigwait(&term, &received) != 0) {
      }
      sigprocmask(SIG_UNBLOCK, &term, nullptr);
      execv(argv[2], argv + 3);
      fail("execv");
    }
    sigprocmask(SIG_UNBLOCK, &term, nullptr);
    report(std::to_string(getpid()) + " " + std::to_string(child));
    waitForever();
  }
  if (mode == "double-fork" || mode == "setsid") {
    // The grandchild outlives its parent; with setsid it also leads a session and
    // group of its own, out of reach of a kill of the test's group. Its pid is
    // reported by the grandchild itself, once it has left the group: a test
    // that reads the pid sees the process as it will stay.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) fail("pipe");
    const pid_t child = fork();
    if (child < 0) fail("fork");
    if (child == 0) {
      const pid_t grandchild = fork();
      if (grandchild < 0) fail("fork");
      if (grandchild == 0) {
        if (mode == "setsid") setsid();
        const std::string text = std::to_string(getpid());
        (void)write(pipeFds[1], text.data(), text.size());
        close(pipeFds[0]);
        close(pipeFds[1]);
        while (true) pause();
      }
      std::_Exit(0);
    }
    close(pipeFds[1]);
    char buffer[32] = {};
    (void)read(pipeFds[0], buffer, sizeof buffer - 1);
    waitpid(child, nullptr, 0);
    report(buffer);
    waitForever();
  }
  if (mode == "agent") {
    // Stands in for an agent: starts each command (separated by "--"; "setsid"
    // first detaches it the way nohup and daemons do), reports their pids, and
    // exits once its input ends, leaving them to be re-parented.
    std::vector<std::vector<char*>> commands(1);
    for (int i = 2; i < argc; ++i) {
      if (std::string_view(argv[i]) == "--")
        commands.emplace_back();
      else
        commands.back().push_back(argv[i]);
    }
    std::string line;
    for (auto& words : commands) {
      const bool detach = !words.empty() && std::string_view(words.front()) == "setsid";
      if (detach) words.erase(words.begin());
      if (words.empty()) return usage();
      words.push_back(nullptr);
      const pid_t child = fork();
      if (child < 0) fail("fork");
      if (child == 0) {
        if (detach) {
          setsid();
          signal(SIGHUP, SIG_IGN);
        }
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(devNull, STDOUT_FILENO) < 0)
          fail("dev/null");
        execv(words.front(), words.data());
        fail("execv");
      }
      line += (line.empty() ? "" : " ") + std::to_string(child);
    }
    report(line);
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    std::_Exit(0);
  }
  if (mode == "listen") {
    listenOn(value);
    waitForever();
  }
  if (mode == "listen-fork") {
    // Reports "port child" once the child that inherits the socket exists.
    const int fd = listenOn(value, false, 0, false);
    const pid_t child = fork();
    if (child < 0) fail("fork");
    if (child == 0) waitForever();
    report(std::to_string(boundPortOf(fd)) + " " + std::to_string(child));
    waitForever();
  }
  if (mode == "reuseport") {
    listenOn(value, true, argc > 3 ? std::atoi(argv[3]) : 0);
    waitForever();
  }
  if (mode == "http") serve(listenOn(value), "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  if (mode == "silent") serve(listenOn(value), "");
  if (mode == "banner") serve(listenOn(value), "SSH-2.0-test\r\n");
  if (mode == "tls") serve(listenOn(value), std::string_view("\x15\x03\x01\x00\x02\x02\x46", 7));
  return usage();
}
