// One glimmet mcp session per benchmark, as an agent holds it: the tools/call
// round trip (status, and ports, which takes a full survey) from writing the
// request to reading the whole answer, and a run of 1,000 pings whose peak
// resident size shows that a long session does not grow.
// Run: build/release/bench/glimmet_mcp_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The server in a private home with MCP switched on.
class Session {
 public:
  Session() {
    std::signal(SIGPIPE, SIG_IGN);
    std::string pattern = (fs::temp_directory_path() / "glimmet-mcp-bench.XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    const auto shared = root_ / ".local/share/Glimmet";
    fs::create_directories(shared);
    std::ofstream(shared / "settings.json") << R"({"mcp":{"enabled":true}})";
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      setenv("HOME", root_.c_str(), 1);
      setenv("XDG_DATA_HOME", (root_ / ".local/share").c_str(), 1);
      setenv("GLIMMET_SIGNATURES", GLIMMET_SIGNATURES_FILE, 1);
      execl(GLIMMET_BINARY, GLIMMET_BINARY, "mcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~Session() {
    close(input_);
    waitpid(pid_, nullptr, 0);
    close(output_);
    fs::remove_all(root_);
  }

  /// Sends one line and reads its one-line answer back.
  bool roundTrip(const std::string& line) {
    if (::write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      return false;
    std::size_t want = 0;
    while (true) {
      const auto lineFeed = buffer_.find('\n');
      if (lineFeed != std::string::npos) {
        want = lineFeed + 1;
        break;
      }
      char chunk[65536];
      const auto count = ::read(output_, chunk, sizeof chunk);
      if (count <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(count));
    }
    buffer_.erase(0, want);
    return true;
  }

  /// The server's peak resident set so far, in kB.
  long peakResidentKB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
  }

 private:
  fs::path root_;
  pid_t pid_ = 0;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

std::string call(const char* tool) {
  return std::string(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":")") + tool +
         "\"}}\n";
}

void toolCall(benchmark::State& state, const char* tool) {
  Session session;
  session.roundTrip(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})"
                    "\n");
  for (auto _ : state)
    if (!session.roundTrip(call(tool))) state.SkipWithError("no answer");
}
void BM_ToolCallStatus(benchmark::State& state) {
  toolCall(state, "status");
}
void BM_ToolCallPorts(benchmark::State& state) {
  toolCall(state, "ports");
}
BENCHMARK(BM_ToolCallStatus)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolCallPorts)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak RSS after 100 pings and after 1,000 more: flat memory means equal figures.
void BM_ThousandPings(benchmark::State& state) {
  const std::string ping = R"({"jsonrpc":"2.0","id":7,"method":"ping"})"
                           "\n";
  for (auto _ : state) {
    Session session;
    for (int i = 0; i < 100; ++i) session.roundTrip(ping);
    const long warm = session.peakResidentKB();
    for (int i = 0; i < 1000; ++i) session.roundTrip(ping);
    state.counters["peakRssKBAfter100"] = static_cast<double>(warm);
    state.counters["peakRssKBAfter1100"] = static_cast<double>(session.peakResidentKB());
  }
}
BENCHMARK(BM_ThousandPings)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
