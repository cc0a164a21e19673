#include "support/fake_proc.h"

using namespace std::string_literals;

namespace glimmet::testing {

namespace fs = std::filesystem;

FakeProc::FakeProc() {
  write("stat", "cpu  1 2 3 4\nbtime " + std::to_string(kBootSeconds) + "\n");
}

void FakeProc::write(const std::string& name, const std::string& bytes) const {
  dir_.write(name, bytes);
}

void FakeProc::link(const std::string& name, const std::string& target) const {
  fs::create_directories(path(name).parent_path());
  fs::create_symlink(target, path(name));
}

std::string FakeProc::statLine(pid_t pid, const std::string& comm, std::uint64_t startTicks,
                               std::uint64_t flags) {
  const std::string id = std::to_string(pid);
  return id + " (" + comm + ") S 1 " + id + " " + id + " 0 -1 " + std::to_string(flags) +
         " 100 0 0 0 5 3 0 0 20 0 1 0 " + std::to_string(startTicks) +
         " 12345678 321 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
}

void FakeProc::addProcess(pid_t pid, const std::string& comm, std::uint64_t startTicks) const {
  const std::string folder = std::to_string(pid) + "/";
  write(folder + "stat", statLine(pid, comm, startTicks));
  write(folder + "status", "Name:\t" + comm +
                               "\nState:\tS (sleeping)\nUid:\t1000\t1000\t1000\t1000\n"
                               "VmRSS:\t  2048 kB\nRssAnon:\t  1024 kB\nRssShmem:\t  0 kB\n"
                               "VmSwap:\t  0 kB\n");
  write(folder + "cmdline", "node\0server.js\0"s);
  write(folder + "environ", "HOME=/home/dev\0"s);
}

}  // namespace glimmet::testing
