// Agents installed the npm way, against real processes: node running a script
// behind the symlink npm puts on the PATH, Gemini CLI relaunching itself with a
// bigger heap, Codex's launcher over its native binary, and the daemon Codex
// detaches from itself, which serves while a Codex session lives and is left
// behind once none does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/process/process_enumerator.h"
#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using ::testing::Contains;
using ::testing::HasSubstr;

std::optional<fs::path> systemNode() {
  for (const char* candidate : {"/usr/bin/node", "/usr/bin/nodejs", "/usr/local/bin/node"})
    if (::access(candidate, X_OK) == 0) return fs::path(candidate);
  return std::nullopt;
}

// A file of the system placed in the home folder, as nvm or uv would install it:
// a hard link when the file system allows one, a copy otherwise.
void placeBinary(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  std::error_code error;
  fs::create_hard_link(fs::canonical(from), to, error);
  if (error) fs::copy_file(fs::canonical(from), to);
}

// Kills a process the test started indirectly (it outlives the child the test
// holds), through a pidfd opened while it was still ours for sure.
class Descendant {
 public:
  explicit Descendant(pid_t pid) : fd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}
  ~Descendant() {
    if (fd_) syscall(SYS_pidfd_send_signal, fd_.get(), SIGKILL, nullptr, 0);
  }
  Descendant(const Descendant&) = delete;
  Descendant& operator=(const Descendant&) = delete;

 private:
  platform::UniqueFd fd_;
};

// A home with node installed through nvm and npm's global packages beside it.
struct NpmHome : testing::IsolatedHome {
  NpmHome() {
    dir().write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 0})");
    fs::create_directories(project());
  }

  fs::path prefix() const { return home() / ".nvm/versions/node/v20.20.2"; }
  fs::path node() const { return prefix() / "bin/node"; }
  fs::path project() const { return home() / "web"; }

  /// Writes `source` as the package's script and links bin/`command` to it, as npm does.
  void install(const std::string& package, const std::string& script, const std::string& command,
               const std::string& source) const {
    const auto file = dir().write(
        (prefix() / "lib/node_modules" / package / script).lexically_relative(root()).string(),
        source);
    fs::create_symlink(fs::path("../lib/node_modules") / package / script,
                       prefix() / "bin" / command);
    fs::permissions(file, fs::perms::owner_exec, fs::perm_options::add);
  }

  /// What the shebang of bin/`command` runs: node with the symlink as its script.
  ChildProcess run(const std::string& command, std::vector<std::string> options = {}) const {
    std::vector<std::string> argv = {node().string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back((prefix() / "bin" / command).string());
    auto child = ChildProcess::spawn(argv, {.cwd = project(), .argv0 = "node"});
    if (child.readReport().empty()) throw std::runtime_error(command + " reported nothing");
    return child;
  }

  nlohmann::json json(const std::vector<std::string>& arguments) const {
    const auto result = glimmet(arguments);
    return nlohmann::json::parse(result.out);
  }
};

const char* const kSleeper = R"(console.log(String(process.pid));
setInterval(() => {}, 1 << 30);
)";

const nlohmann::json* withPID(const nlohmann::json& list, long pid) {
  for (const auto& entry : list)
    if (entry["pid"] == pid) return &entry;
  return nullptr;
}

std::vector<long> pidsOf(const nlohmann::json& list) {
  std::vector<long> pids;
  for (const auto& entry : list) pids.push_back(entry["pid"].get<long>());
  return pids;
}

bool alive(pid_t pid) {
  const auto state = SystemProcessInspector(::geteuid()).state(pid);
  return state && state->status != ProcessStatus::zombie;
}

std::string refusal(long pid) {
  return "Couldn't stop PID " + std::to_string(pid) + ": protected by default: ai agents.\n";
}

#define SKIP_WITHOUT_NODE() \
  if (!systemNode()) GTEST_SKIP() << "node is not installed (scripts/test installs it)"

TEST(InterpreterAgents, ClaudeFromNpmIsASessionProtectedFromKill) {
  SKIP_WITHOUT_NODE();
  NpmHome home;
  placeBinary(*systemNode(), home.node());
  home.install("@anthropic-ai/claude-code", "cli.js", "claude", kSleeper);
  auto claude = home.run("claude");

  const auto agents = home.glimmet({"agents", "--json"});
  EXPECT_EQ(testing::schemaProblems("agents", agents.out), "");
  const auto document = nlohmann::json::parse(agents.out);
  const auto* session = withPID(document["sessions"], claude.pid());
  ASSERT_NE(session, nullptr) << agents.out;
  EXPECT_EQ((*session)["agent"], "Claude Code");
  EXPECT_EQ((*session)["project"], "web");
  EXPECT_THAT(home.glimmet({"agents"}).out,
              HasSubstr("Claude Code  pid " + std::to_string(claude.pid()) + "  web  "));
  EXPECT_GE(home.json({"status", "--json"})["agentSessions"].get<int>(), 1);

  const auto kill = home.glimmet({"kill", std::to_string(claude.pid())});
  EXPECT_EQ(kill.status, 3);
  EXPECT_EQ(kill.out, refusal(claude.pid()));
  EXPECT_TRUE(alive(claude.pid()));
}

TEST(InterpreterAgents, GeminiRelaunchedWithABiggerHeapIsOneSession) {
  SKIP_WITHOUT_NODE();
  NpmHome home;
  placeBinary(*systemNode(), home.node());
  // As Gemini CLI does: the first process starts itself again with a bigger heap
  // and waits for it; the child reports its pid through the parent.
  home.install("@google/gemini-cli", "bundle/gemini.js", "gemini", R"(
const { spawn } = require('child_process');
if (process.env.GEMINI_CLI_NO_RELAUNCH) {
  console.log(String(process.pid));
} else {
  const child = spawn(process.execPath, ['--max-old-space-size=4096', process.argv[1]], {
    stdio: ['ignore', 'pipe', 'inherit'],
    env: { ...process.env, GEMINI_CLI_NO_RELAUNCH: 'true' },
  });
  child.stdout.once('data', (line) => console.log(process.pid + ' ' + String(line).trim()));
}
setInterval(() => {}, 1 << 30);
)");
  auto gemini = home.run("gemini");
  const auto relaunched = gemini.reportedNumbers().at(1);

  const auto document = home.json({"agents", "--json"});
  const auto* session = withPID(document["sessions"], gemini.pid());
  ASSERT_NE(session, nullptr) << document.dump();
  EXPECT_EQ((*session)["agent"], "Gemini CLI");
  EXPECT_THAT(pidsOf((*session)["started"]), Contains(relaunched));
  EXPECT_EQ(withPID(document["sessions"], relaunched), nullptr);

  for (const long pid : {static_cast<long>(gemini.pid()), relaunched}) {
    const auto kill = home.glimmet({"kill", std::to_string(pid)});
    EXPECT_EQ(kill.status, 3);
    EXPECT_EQ(kill.out, refusal(pid));
  }
  EXPECT_TRUE(alive(static_cast<pid_t>(relaunched)));
}

TEST(InterpreterAgents, CodexsLauncherHoldsItsAgentAndItsDaemonOutlivesItAsAGhost) {
  SKIP_WITHOUT_NODE();
  NpmHome home;
  placeBinary(*systemNode(), home.node());
  // Standing in for a python of the user's (uv, pyenv) that serves a folder.
  const auto python = home.home() / ".local/share/uv/python/bin/python3";
  placeBinary("/usr/bin/python3", python);
  const auto native =
      home.prefix() / "lib/node_modules/@openai/codex/vendor/x86_64-unknown-linux-musl/codex/codex";
  placeBinary(testing::helperBinary(), native);
  const auto daemon = home.home() / ".codex/packages/app-server-daemon/releases/0.169.0/bin/codex";
  home.dir().write(daemon.lexically_relative(home.root()).string(), R"(
const { spawn } = require('child_process');
const server = spawn(')" + python.string() + R"(',
    ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1'], { stdio: ['ignore', 'pipe', 'ignore'] });
server.stdout.once('data', (line) => {
  const port = /port (\d+)/.exec(String(line))[1];
  console.log(process.pid + ' ' + server.pid + ' ' + port);
});
setInterval(() => {}, 1 << 30);
)");
  // The launcher starts the native agent, which detaches the managed daemon.
  home.install("@openai/codex", "bin/codex.js", "codex",
               R"(
const { spawn } = require('child_process');
const words = [];
const report = (line) => {
  words.push(String(line).trim());
  if (words.length === 2) console.log(process.pid + ' ' + words.join(' '));
};
spawn(')" + native.string() +
                   R"(', ['sleep'], { stdio: ['ignore', 'pipe', 'inherit'] })
    .stdout.once('data', report);
spawn(process.execPath, [')" +
                   daemon.string() +
                   R"(', 'app-server', '--listen', 'unix://',
    '--managed-daemon'], { detached: true, stdio: ['ignore', 'pipe', 'inherit'] })
    .stdout.once('data', report);
setInterval(() => {}, 1 << 30);
)");
  auto launcher = home.run("codex");
  const auto numbers = launcher.reportedNumbers();
  ASSERT_EQ(numbers.size(), 5u) << launcher.report();
  const long agent = numbers[1], daemonPID = numbers[2], serverPID = numbers[3], port = numbers[4];
  const Descendant daemonGuard(static_cast<pid_t>(daemonPID));
  const Descendant serverGuard(static_cast<pid_t>(serverPID));

  // While Codex runs, its agent, its daemon and the daemon's server are its session.
  auto document = home.json({"agents", "--json"});
  const auto* session = withPID(document["sessions"], launcher.pid());
  ASSERT_NE(session, nullptr) << document.dump();
  EXPECT_EQ((*session)["agent"], "Codex");
  const auto started = pidsOf((*session)["started"]);
  for (const long pid : {agent, daemonPID, serverPID}) {
    EXPECT_THAT(started, Contains(pid));
    EXPECT_EQ(withPID(document["sessions"], pid), nullptr) << pid << " is no session";
  }
  EXPECT_THAT((*session)["ports"], Contains(port));
  EXPECT_EQ(home.glimmet({"kill", std::to_string(launcher.pid())}).out, refusal(launcher.pid()));

  // The person quits Codex; the daemon goes on, re-parented.
  launcher.kill();
  ProcessEnumerator enumerator(::geteuid());
  const auto snapshot = enumerator.snapshot(std::chrono::system_clock::now());
  const auto* record = snapshot.record(static_cast<pid_t>(daemonPID));
  ASSERT_NE(record, nullptr);
  if (record->ppid != 1) GTEST_SKIP() << "orphans here go to a subreaper the tool doesn't know";

  // Other tests may run a stand-in Codex for a moment, which keeps the daemon in use.
  const nlohmann::json* ghost = nullptr;
  nlohmann::json ghosts;
  for (int attempt = 0; attempt < 20 && ghost == nullptr; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ghosts = home.json({"ghosts", "--json"});
    ghost = withPID(ghosts["ghosts"], daemonPID);
  }
  ASSERT_NE(ghost, nullptr) << ghosts.dump();
  EXPECT_EQ((*ghost)["agent"], "Codex");
  EXPECT_EQ((*ghost)["originKind"], "likely");
  EXPECT_EQ((*ghost)["label"], "Codex helper");
  EXPECT_THAT((*ghost)["members"], Contains(serverPID));
  EXPECT_THAT((*ghost)["ports"], Contains(port));
  document = home.json({"agents", "--json"});
  EXPECT_EQ(withPID(document["sessions"], daemonPID), nullptr);
  EXPECT_NE(withPID(document["leftBehind"], daemonPID), nullptr);

  // Named after its agent, yet no agent: glimmet may stop it, with its server.
  const auto kill = home.glimmet({"kill", std::to_string(daemonPID)});
  EXPECT_EQ(kill.status, 0) << kill.out;
  EXPECT_FALSE(alive(static_cast<pid_t>(daemonPID)));
  EXPECT_FALSE(alive(static_cast<pid_t>(serverPID)));
}

}  // namespace
}  // namespace glimmet
