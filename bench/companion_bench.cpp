// The companion's footprint, as a user's login session would carry it: 300
// sleeping processes and one live agent session with children around
// `glimmet companion run` for five minutes, then an agent with 1,000 children.
// Reports the companion's CPU time over wall time (from /proc/PID/stat), its
// peak resident memory (VmHWM) and the size of ancestry.json holding 1,000
// live records. The budget: 0.5% of one core, under 10 MB, under 1 MB.
// Run: build/release/bin/glimmet_companion_bench [--seconds 300]
// (a shorter run, such as --seconds 20, for a quick check).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kSleepers = 300;
constexpr int kSessionChildren = 3;
constexpr int kRecorded = 1000;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "glimmet_companion_bench: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// The stand-in agent: started through a link named claude, it starts
// children that sleep (programs of their own, not copies of the agent), and
// sleeps itself until it is killed.
[[noreturn]] void standIn(int children) {
  for (int i = 0; i < children; ++i) {
    const pid_t child = ::fork();
    if (child < 0) fail("fork");
    if (child == 0) {
      ::execl("/bin/sleep", "sleep", "infinity", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  while (true) ::pause();
}

pid_t forkSleeper() {
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid == 0)
    while (true) ::pause();
  return pid;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const fs::path& errorFile) {
  std::vector<char*> args;
  for (const auto& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    const int error =
        errorFile.empty() ? null : ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(error, STDERR_FILENO);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  return pid;
}

std::string slurp(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// utime + stime of the process, in seconds.
double cpuSeconds(pid_t pid) {
  const auto stat = slurp("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long long user = 0;
  unsigned long long system = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) user = std::stoull(field);
    if (number == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// VmHWM in kB.
long peakResidentKiB(pid_t pid) {
  std::istringstream status(slurp("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  return -1;
}

std::size_t records(const fs::path& ancestry) {
  const auto json = nlohmann::json::parse(slurp(ancestry), nullptr, false);
  return json.is_array() ? json.size() : 0;
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

void killAll(std::vector<pid_t>& pids) {
  for (const pid_t pid : pids) ::kill(pid, SIGKILL);
  for (const pid_t pid : pids) ::waitpid(pid, nullptr, 0);
  pids.clear();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--stand-in") standIn(std::atoi(argv[2]));
  int seconds = 300;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string_view(argv[i]) == "--seconds") seconds = std::atoi(argv[i + 1]);

  std::string pattern = (fs::temp_directory_path() / "glimmet-companion-bench.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
  const fs::path root = pattern;
  const fs::path shared = root / "home/.local/share/Glimmet";
  fs::create_directories(root / "bin");
  fs::create_directories(shared);
  const auto claude = root / "bin/claude";
  fs::create_symlink(fs::read_symlink("/proc/self/exe"), claude);
  const std::vector<std::string> environment = {
      "HOME=" + (root / "home").string(), "XDG_DATA_HOME=" + (root / "home/.local/share").string(),
      "PATH=/usr/bin:/bin", "GLIMMET_SIGNATURES=" GLIMMET_SIGNATURES_FILE};

  std::vector<pid_t> sleepers;
  for (int i = 0; i < kSleepers; ++i) sleepers.push_back(forkSleeper());
  // Each stand-in leads a group of its own, with its children in it.
  std::vector<pid_t> agents;
  agents.push_back(
      spawn({claude.string(), "--stand-in", std::to_string(kSessionChildren)}, environment, {}));

  const auto errors = root / "companion.err";
  const auto begun = std::chrono::steady_clock::now();
  const pid_t companion = spawn({GLIMMET_BINARY, "companion", "run"}, environment, errors);
  if (!waitFor([&] { return fs::exists(shared / "mcp-heartbeat.json"); }, 30s))
    fail("the companion wrote no heartbeat");
  const double startCPU = cpuSeconds(companion);
  const auto steady = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = cpuSeconds(companion);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  const double steadyWall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - steady).count();
  const long peakKiB = peakResidentKiB(companion);
  const auto state = nlohmann::json::parse(slurp(shared / "companion.json"), nullptr, false);

  // Then 1,000 more processes under a second agent, all recorded.
  const std::size_t before =
      fs::exists(shared / "ancestry.json") ? records(shared / "ancestry.json") : 0;
  agents.push_back(
      spawn({claude.string(), "--stand-in", std::to_string(kRecorded)}, environment, {}));
  const bool recordedAll = waitFor(
      [&] {
        return fs::exists(shared / "ancestry.json") &&
               records(shared / "ancestry.json") >= before + kRecorded;
      },
      60s);
  const auto ancestryBytes = fs::file_size(shared / "ancestry.json");
  const std::size_t held = records(shared / "ancestry.json");
  const long peakWithRecordsKiB = peakResidentKiB(companion);

  ::kill(companion, SIGTERM);
  int status = 0;
  ::waitpid(companion, &status, 0);
  for (const pid_t agent : agents) ::kill(-agent, SIGKILL);
  killAll(agents);
  killAll(sleepers);

  std::printf(
      "glimmet companion run, %d s with %d sleeping processes and one agent session "
      "(%d children)\n",
      seconds, kSleepers, kSessionChildren);
  std::printf("  live sessions seen:  %s\n",
              state.is_object() ? std::to_string(state.value("sessionsWatched", 0)).c_str() : "?");
  std::printf(
      "  CPU over wall time:  %.3f%% of one core (%.2f s of CPU in %.1f s; "
      "%.3f%% after start-up)\n",
      100.0 * cpu / wall, cpu, wall, 100.0 * (cpu - startCPU) / steadyWall);
  std::printf("  peak RSS (VmHWM):    %.1f MB\n", static_cast<double>(peakKiB) / 1024.0);
  std::printf("  ancestry.json with %zu live records (%d under the second agent%s): %.1f KB\n",
              held, kRecorded, recordedAll ? "" : ", NOT ALL RECORDED",
              static_cast<double>(ancestryBytes) / 1000.0);
  std::printf("  peak RSS with them:  %.1f MB\n", static_cast<double>(peakWithRecordsKiB) / 1024.0);
  std::printf("  exit after SIGTERM:  %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::fputs(slurp(errors).c_str(), stdout);
  fs::remove_all(root);
  return recordedAll && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
