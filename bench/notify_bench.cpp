// Times `glimmet notify` from spawn to exit, against /bin/true spawned the same
// way in the same run. Agents run it on every turn, so it must stay far below
// anything a person could notice: a 1 MB Claude Code payload on a pipe, with the
// application's heartbeat fresh, is the case that counts.
// Run: build/release/bench/glimmet_notify_bench --benchmark_repetitions=20
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logic/agents/agent_event_parser.h"

namespace {

namespace fs = std::filesystem;

// A notify that finds no heartbeat closes its input unread: the payload write
// then fails with EPIPE, which must not end the benchmark.
const bool kIgnoreSigpipe = [] {
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}();

// A private HOME whose shared folder holds a heartbeat, rewritten well before
// it would go stale so a long run measures the recording path throughout.
class BenchHome {
 public:
  BenchHome() {
    std::string pattern = (fs::temp_directory_path() / "glimmet-notify-bench.XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    fs::create_directories(shared());
    variables_ = {"HOME=" + (root_ / "home").string(),
                  "XDG_DATA_HOME=" + (root_ / "home/.local/share").string(), "PATH=/usr/bin:/bin"};
    for (auto& variable : variables_) environment_.push_back(variable.data());
    environment_.push_back(nullptr);
  }
  ~BenchHome() { fs::remove_all(root_); }

  fs::path shared() const { return root_ / "home/.local/share/Glimmet"; }
  char* const* environment() { return environment_.data(); }

  void beatIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastBeat_ < std::chrono::seconds(30)) return;
    lastBeat_ = now;
    const std::time_t seconds = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
    std::ofstream(shared() / "mcp-heartbeat.json") << "{\"time\":\"" << stamp << "\"}";
  }

  void stopBeating() {
    fs::remove(shared() / "mcp-heartbeat.json");
    lastBeat_ = std::chrono::steady_clock::time_point::max() - std::chrono::hours(1);
  }

 private:
  fs::path root_;
  std::vector<std::string> variables_;
  std::vector<char*> environment_;
  std::chrono::steady_clock::time_point lastBeat_{};
};

// A Notification hook payload padded to about `size` bytes the way a large one
// is: a long multi-line message and bulky members the parser must skip.
std::string claudePayload(size_t size) {
  std::string message = "Claude needs your permission to use Bash\\n";
  std::string filler;
  while (filler.size() < size / 2)
    filler += "{\"tool\":\"Edit\",\"path\":\"/home/dev/src/app\\/main.ts\",\"lines\":[1,2,3]},";
  filler += "null";
  while (message.size() < size / 2) message += "line of output with \\u00e9 and \\\"quotes\\\"\\n";
  return "{\"session_id\":\"6f1c2a9e-0d4b-4c1e-9a57-3b8e2f6d7c10\","
         "\"transcript_path\":\"/home/dev/.claude/projects/app/6f1c.jsonl\","
         "\"cwd\":\"/home/dev/src/app\",\"hook_event_name\":\"Notification\","
         "\"context\":[" +
         filler + "],\"message\":\"" + message + "\",\"notification_type\":\"permission_prompt\"}";
}

void spawnAndWait(benchmark::State& state, BenchHome& home, std::vector<std::string> argv,
                  const std::string* input) {
  std::vector<char*> pointers;
  for (auto& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  for (auto _ : state) {
    state.PauseTiming();
    home.beatIfDue();
    int pipeEnds[2] = {-1, -1};
    if (input != nullptr && ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
      state.SkipWithError("pipe failed");
      break;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input != nullptr) {
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    state.ResumeTiming();

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), home.environment());
    if (input != nullptr) {
      ::close(pipeEnds[0]);
      // Written the way an agent writes its hook payload: all of it, then EOF.
      size_t written = 0;
      while (spawned == 0 && written < input->size()) {
        const ssize_t n = ::write(pipeEnds[1], input->data() + written, input->size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
      }
      ::close(pipeEnds[1]);
    }
    int status = 0;
    if (spawned == 0) ::waitpid(pid, &status, 0);

    state.PauseTiming();
    posix_spawn_file_actions_destroy(&actions);
    state.ResumeTiming();
    if (spawned != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
  }
}

void BM_BinTrue(benchmark::State& state) {
  BenchHome home;
  spawnAndWait(state, home, {"/bin/true"}, nullptr);
}

// The tool's own start-up, for reference: what any notify costs at least.
void BM_GlimmetVersion(benchmark::State& state) {
  BenchHome home;
  spawnAndWait(state, home, {GLIMMET_BINARY, "version"}, nullptr);
}

void BM_NotifyClaude1MB(benchmark::State& state) {
  BenchHome home;
  const std::string payload = claudePayload(1'000'000);
  spawnAndWait(state, home, {GLIMMET_BINARY, "notify", "--agent", "claude-code", "--pid", "4242"},
               &payload);
}

void BM_NotifyClaudeSmall(benchmark::State& state) {
  BenchHome home;
  const std::string payload =
      R"({"session_id":"abc","cwd":"/home/dev/src/app","hook_event_name":"Stop"})";
  spawnAndWait(state, home, {GLIMMET_BINARY, "notify", "--agent", "claude-code", "--pid", "4242"},
               &payload);
}

void BM_NotifyCodex(benchmark::State& state) {
  BenchHome home;
  spawnAndWait(state, home,
               {GLIMMET_BINARY, "notify", "--agent", "codex",
                R"({"type":"agent-turn-complete","thread-id":"t-1","cwd":"/home/dev/src/app"})"},
               nullptr);
}

// Without the application nothing is read: the cost is start-up and one stat.
void BM_NotifyApplicationAbsent(benchmark::State& state) {
  BenchHome home;
  home.stopBeating();
  const std::string payload = claudePayload(1'000'000);
  spawnAndWait(state, home, {GLIMMET_BINARY, "notify", "--agent", "claude-code", "--pid", "4242"},
               &payload);
}

// The parser alone, in this process: what of a notify's time is reading JSON.
void BM_ParseClaude1MBInProcess(benchmark::State& state) {
  const std::string payload = claudePayload(1'000'000);
  for (auto _ : state) {
    auto event = glimmet::AgentEventParser::parseClaudeCode(payload, 4242, {}, "id");
    benchmark::DoNotOptimize(event);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(payload.size()));
}

BENCHMARK(BM_ParseClaude1MBInProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinTrue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GlimmetVersion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NotifyClaude1MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NotifyClaudeSmall)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NotifyCodex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NotifyApplicationAbsent)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
