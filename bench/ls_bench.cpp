// `glimmet ls --json` with 20 dev servers, each in its own git repository on
// its own branch, timed beside `ss -ltnp` in the same run. The servers are
// children of this benchmark, killed when it ends.
// Run: build/release/bench/glimmet_ls_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "spawn_and_wait.h"

namespace {

namespace fs = std::filesystem;
using glimmet::bench::spawnAndWait;

// Twenty repositories with a listener in each, for as long as the run lasts.
class DevServerFarm {
 public:
  DevServerFarm()
      : root_(fs::temp_directory_path() / ("glimmet-ls-bench-" + std::to_string(getpid()))) {
    for (int i = 0; i < 20; ++i) {
      const fs::path repo = root_ / ("project-" + std::to_string(i));
      fs::create_directories(repo / ".git");
      std::ofstream(repo / ".git/HEAD") << "ref: refs/heads/feature-" << i << "\n";
      const pid_t child = fork();
      if (child == 0) {
        if (chdir(repo.c_str()) != 0) _exit(1);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd, 8) != 0)
          _exit(1);
        while (true) pause();
      }
      children_.push_back(child);
    }
    // Listeners younger than two seconds aren't listed yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  }
  ~DevServerFarm() {
    for (const pid_t child : children_) kill(child, SIGKILL);
    std::error_code error;
    fs::remove_all(root_, error);
  }

 private:
  fs::path root_;
  std::vector<pid_t> children_;
};

DevServerFarm& farm() {
  static DevServerFarm servers;
  return servers;
}

void BM_GlimmetLsJson(benchmark::State& state) {
  farm();
  spawnAndWait(state, {GLIMMET_BINARY, "ls", "--json"});
}
void BM_SsListeners(benchmark::State& state) {
  farm();
  spawnAndWait(state, {"/usr/bin/ss", "-ltnp"});
}

}  // namespace

BENCHMARK(BM_GlimmetLsJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SsListeners)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
