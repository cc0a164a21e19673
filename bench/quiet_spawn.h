// A program to start, as often as asked, with its standard output and error
// to /dev/null: how every benchmark that runs a whole command, ours or a peer
// tool, starts it.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace glimmet::bench {

class QuietSpawn {
 public:
  explicit QuietSpawn(std::vector<std::string> argv) : argv_(std::move(argv)) {
    for (auto& word : argv_) pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  ~QuietSpawn() { posix_spawn_file_actions_destroy(&actions_); }
  QuietSpawn(const QuietSpawn&) = delete;  // the pointers point into argv_
  QuietSpawn& operator=(const QuietSpawn&) = delete;

  /// The started child's pid, or nothing when it couldn't be started.
  std::optional<pid_t> start(char* const* environment = environ) const {
    pid_t pid = 0;
    if (posix_spawn(&pid, pointers_[0], &actions_, nullptr, pointers_.data(), environment) != 0)
      return std::nullopt;
    return pid;
  }

 private:
  std::vector<std::string> argv_;
  std::vector<char*> pointers_;
  posix_spawn_file_actions_t actions_;
};

}  // namespace glimmet::bench
