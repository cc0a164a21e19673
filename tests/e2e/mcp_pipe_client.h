// glimmet mcp as an MCP client sees it: the real binary on a pair of pipes in
// an IsolatedHome, written to in pieces and read one response at a time (a JSON
// line or a Content-Length frame), so tests can send what clients send, when
// they send it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/isolated_home.h"

namespace glimmet::testing {

class MCPPipe {
 public:
  explicit MCPPipe(IsolatedHome& home) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> environment;
    for (const auto& [name, value] : home.environment().variables())
      environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = GLIMMET_BINARY;
    std::string command = "mcp";
    char* argv[] = {program.data(), command.data(), nullptr};
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      setpgid(0, 0);
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      execve(program.c_str(), argv, envp.data());
      _exit(127);
    }
    setpgid(pid_, pid_);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  MCPPipe(const MCPPipe&) = delete;
  MCPPipe& operator=(const MCPPipe&) = delete;
  ~MCPPipe() {
    closeInput();
    if (!exited_) {
      if (!waitForExit(10)) ::kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(output_);
  }

  pid_t pid() const { return pid_; }

  void write(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto written = ::write(input_, bytes.data(), bytes.size());
      if (written <= 0) throw std::runtime_error("write to glimmet mcp failed");
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }
  void send(const nlohmann::json& message) { write(message.dump() + "\n"); }
  void sendFramed(const nlohmann::json& message) {
    const auto body = message.dump();
    write("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }

  /// The next response body, or nothing when none is complete within `milliseconds`
  /// (or the server closed its output). Fails the test on anything that is
  /// neither a whole JSON line nor a Content-Length frame.
  std::optional<std::string> readFrame(int milliseconds = 20000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
      if (auto body = takeResponse()) return body;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return std::nullopt;
      pollfd ready{.fd = output_, .events = POLLIN, .revents = 0};
      if (poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[65536];
      const auto count = ::read(output_, chunk, sizeof chunk);
      if (count <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(count));
    }
  }
  /// Whether the last response read was a Content-Length frame (else a line).
  bool lastWasFramed() const { return lastWasFramed_; }
  std::optional<nlohmann::json> readMessage(int milliseconds = 20000) {
    const auto frame = readFrame(milliseconds);
    if (!frame) return std::nullopt;
    return nlohmann::json::parse(*frame);
  }
  /// Sends `message` and reads its answer.
  nlohmann::json ask(const nlohmann::json& message) {
    send(message);
    auto answer = readMessage();
    if (!answer) throw std::runtime_error("no answer to " + message.dump());
    return *answer;
  }
  /// A tools/call round trip; the result object.
  nlohmann::json call(const std::string& tool,
                      const nlohmann::json& arguments = nlohmann::json::object()) {
    return ask({{"jsonrpc", "2.0"},
                {"id", ++nextID_},
                {"method", "tools/call"},
                {"params", {{"name", tool}, {"arguments", arguments}}}})["result"];
  }

  void closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  /// The exit status once the server ends by itself within `seconds`.
  std::optional<int> waitForExit(int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(50'000);
    }
    return std::nullopt;
  }
  /// Whatever the server wrote that is not yet taken as a frame.
  const std::string& unread() const { return buffer_; }

 private:
  // A line answer is one compact object and one line feed, with no carriage
  // return and no header; a framed one is exactly "Content-Length: N\r\n\r\n".
  std::optional<std::string> takeResponse() {
    if (buffer_.empty()) return std::nullopt;
    if (buffer_.front() == '{') {
      const auto lineFeed = buffer_.find('\n');
      if (lineFeed == std::string::npos) return std::nullopt;
      auto body = buffer_.substr(0, lineFeed);
      if (body.find('\r') != std::string::npos)
        throw std::runtime_error("a carriage return in a line answer: " + body.substr(0, 80));
      buffer_.erase(0, lineFeed + 1);
      lastWasFramed_ = false;
      return body;
    }
    const auto header = buffer_.find("\r\n\r\n");
    if (header == std::string::npos) return std::nullopt;
    const std::string prefix = "Content-Length: ";
    if (buffer_.compare(0, prefix.size(), prefix) != 0)
      throw std::runtime_error("not a frame: " + buffer_.substr(0, 80));
    const auto length = std::stoul(buffer_.substr(prefix.size(), header - prefix.size()));
    if (buffer_.size() < header + 4 + length) return std::nullopt;
    auto body = buffer_.substr(header + 4, length);
    buffer_.erase(0, header + 4 + length);
    lastWasFramed_ = true;
    return body;
  }

  pid_t pid_ = 0;
  int input_ = -1;
  int output_ = -1;
  bool exited_ = false;
  int nextID_ = 100;
  bool lastWasFramed_ = false;
  std::string buffer_;
};

}  // namespace glimmet::testing
