// The shared folder under attack: links, FIFOs and held locks planted where
// notify, mcp, kill and disk scan keep their files, a folder of another user,
// loose modes, a hostile quit inbox and a kill log without end. Every command
// finishes, writes nothing outside the folder, and keeps its usual answer.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>

#include "core/output/iso8601.h"
#include "platform/unique_fd.h"
#include "support/child_process.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ChildProcess;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kStop =
    R"({"session_id":"s-1","cwd":"/home/dev/app","hook_event_name":"Stop"})";
// One call of a tool that needs no survey: answered, and logged, at once.
constexpr std::string_view kToolCall =
    R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"nope"}})"
    "\n";
constexpr std::string_view kBusyMCPLog =
    "Couldn't add to the MCP call log: another program kept it locked.\n";
constexpr std::string_view kBusyKillLog =
    "Couldn't add to the kill log: another program kept it locked.\n";

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class SharedFolderAttack : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_IGN);
    fs::create_directories(folder());
  }

  fs::path folder() const { return home_.sharedFolder(); }
  fs::path outside(const std::string& name) const { return home_.root() / "outside" / name; }
  void write(const std::string& name, const std::string& text) {
    home_.dir().write("home/.local/share/Glimmet/" + name, text);
  }
  void beat() {
    write("mcp-heartbeat.json",
          json{{"time", formatIso8601(std::chrono::system_clock::now())}}.dump());
  }
  void enableMCP() { write("settings.json", json{{"mcp", {{"enabled", true}}}}.dump()); }
  void plantLink(const std::string& name) {
    clear(name);
    fs::create_symlink(outside(name), folder() / name);
  }
  void plantFifo(const std::string& name) {
    clear(name);
    ASSERT_EQ(::mkfifo((folder() / name).c_str(), 0600), 0) << name;
  }
  void clear(const std::string& name) { fs::remove(folder() / name); }

  testing::RunResult notify() {
    return home_.glimmet({"notify", "--agent", "claude-code", "--pid", "4242"},
                         {.input = std::string(kStop), .timeoutSeconds = 60});
  }
  testing::RunResult mcp(const std::string& input = std::string(kToolCall)) {
    return home_.glimmet({"mcp"}, {.input = input, .timeoutSeconds = 60});
  }
  testing::RunResult killAHelper() {
    auto target = ChildProcess::helper({"sleep"});
    return home_.glimmet({"kill", std::to_string(target.pid()), "--grace", "1"},
                         {.timeoutSeconds = 60});
  }
  testing::RunResult diskScan() { return home_.glimmet({"disk", "scan"}, {.timeoutSeconds = 300}); }

  testing::IsolatedHome home_;
};

// Holds an exclusive flock on a lock file, as a stuck application would.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    EXPECT_TRUE(fd_) << path;
    EXPECT_EQ(::flock(fd_.get(), LOCK_EX), 0);
  }

 private:
  platform::UniqueFd fd_;
};

TEST_F(SharedFolderAttack, LinksPlantedAsLogsAndLocksAreNeverFollowed) {
  beat();
  enableMCP();
  for (const std::string name : {"agent-events.jsonl", "agent-events.lock"}) {
    SCOPED_TRACE(name);
    plantLink(name);
    const auto result = notify();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, "");
    clear(name);
  }
  for (const std::string name : {"mcp-log.jsonl", "mcp-log.lock"}) {
    SCOPED_TRACE(name);
    plantLink(name);
    const auto result = mcp();
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, HasSubstr("Unknown tool."));
    clear(name);
  }
  for (const std::string name : {"killlog.jsonl", "killlog.jsonl.lock"}) {
    SCOPED_TRACE(name);
    plantLink(name);
    const auto result = killAHelper();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    clear(name);
  }
  for (const std::string name : {"disk-history.csv", "disk-history.csv.lock"}) {
    SCOPED_TRACE(name);
    plantLink(name);
    const auto result = diskScan();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "Couldn't save this scan to the history.\n");
    clear(name);
  }
  EXPECT_FALSE(fs::exists(home_.root() / "outside")) << "nothing was created through a link";
}

TEST_F(SharedFolderAttack, FifosPlantedAsLogsNeverHangACommand) {
  beat();
  enableMCP();
  const auto started = Clock::now();
  plantFifo("agent-events.jsonl");
  const auto notified = notify();
  EXPECT_EQ(notified.status, 0);
  EXPECT_EQ(notified.out + notified.err, "");

  plantFifo("mcp-log.jsonl");
  EXPECT_THAT(mcp().out, HasSubstr("Unknown tool."));

  plantFifo("killlog.jsonl");
  const auto killed = killAHelper();
  EXPECT_EQ(killed.status, 0) << killed.out << killed.err;

  // The scan reads the kill log and appends to the history: both FIFOs.
  plantFifo("disk-history.csv");
  const auto scanned = diskScan();
  EXPECT_EQ(scanned.status, 0) << scanned.out << scanned.err;
  EXPECT_EQ(scanned.err, "Couldn't save this scan to the history.\n");
  // Each would have waited forever; together they took what the work takes.
  EXPECT_LT(Clock::now() - started, std::chrono::minutes(4));
}

TEST_F(SharedFolderAttack, HeldLocksCostABoundedWaitAndAreSaidOnce) {
  beat();
  enableMCP();
  {
    const HeldLock held(folder() / "agent-events.lock");
    const auto started = Clock::now();
    const auto result = notify();
    const auto took = Clock::now() - started;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(3500));
    EXPECT_FALSE(fs::exists(folder() / "agent-events.jsonl"));
  }
  {
    const HeldLock held(folder() / "mcp-log.lock");
    const auto result = mcp(std::string(kToolCall) + std::string(kToolCall));
    EXPECT_EQ(result.status, 0);
    // Both calls answered; the skipped log said once, on standard error.
    size_t answers = 0;
    for (size_t at = result.out.find("Unknown tool."); at != std::string::npos;
         at = result.out.find("Unknown tool.", at + 1))
      ++answers;
    EXPECT_EQ(answers, 2u) << result.out;
    EXPECT_EQ(result.err, kBusyMCPLog);
  }
  {
    const HeldLock held(folder() / "killlog.jsonl.lock");
    const auto result = killAHelper();
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.err, kBusyKillLog);
    EXPECT_FALSE(fs::exists(folder() / "killlog.jsonl"));
  }
}

TEST_F(SharedFolderAttack, AFolderOfAnotherUserIsNeitherReadNorWritten) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder to another user";
  beat();
  enableMCP();
  ASSERT_EQ(::chown(folder().c_str(), 65534, 65534), 0);
  // Its settings don't count: MCP stays off, and the call log isn't written.
  const auto served = mcp();
  EXPECT_THAT(served.out, HasSubstr("MCP is off in Glimmet."));
  const auto notified = notify();
  EXPECT_EQ(notified.status, 0);
  EXPECT_EQ(notified.out + notified.err, "");
  const auto protectedGlob = home_.glimmet({"protect", "*next dev*"});
  EXPECT_NE(protectedGlob.status, 0);
  EXPECT_THAT(protectedGlob.err, HasSubstr("another user's folder"));
  for (const char* name : {"mcp-log.jsonl", "mcp-log.lock", "agent-events.jsonl", "protected.json",
                           "protected.json.lock"})
    EXPECT_FALSE(fs::exists(folder() / name)) << name;
}

TEST_F(SharedFolderAttack, LooseModesAreTightenedAndNewFilesArePrivateUnderUmask000) {
  beat();
  write("agent-events.jsonl", "");
  ::chmod(folder().c_str(), 0777);
  ::chmod((folder() / "agent-events.jsonl").c_str(), 0666);
  const mode_t previous = ::umask(0);
  const auto notified = notify();
  enableMCP();
  const auto served = mcp();
  ::umask(previous);
  EXPECT_EQ(notified.status, 0);
  EXPECT_EQ(modeOf(folder()), 0700u);
  EXPECT_EQ(modeOf(folder() / "agent-events.jsonl"), 0600u);
  EXPECT_THAT(home_.dir().read("home/.local/share/Glimmet/agent-events.jsonl"),
              HasSubstr("\"kind\":\"finished\""));
  for (const char* name : {"agent-events.lock", "mcp-log.jsonl", "mcp-log.lock"})
    EXPECT_EQ(modeOf(folder() / name), 0600u) << name;
}

TEST_F(SharedFolderAttack, AsAnotherUserOnlyTheirOwnFilesCount) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as uid 65534";
  beat();
  for (const auto& entry : fs::recursive_directory_iterator(home_.root()))
    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
  ASSERT_EQ(::lchown(home_.root().c_str(), 65534, 65534), 0);
  fs::permissions(home_.root(),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const auto asNobody = [&] {
    return testing::runProcess(
        {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", GLIMMET_BINARY,
         "notify", "--agent", "claude-code"},
        home_.environment(), {.input = std::string(kStop)});
  };
  // A heartbeat that root left in their folder is not theirs: nothing recorded.
  ASSERT_EQ(::lchown((folder() / "mcp-heartbeat.json").c_str(), 0, 0), 0);
  auto result = asNobody();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(fs::exists(folder() / "agent-events.jsonl"));
  // Their own heartbeat counts, but a link in the log's place still isn't followed.
  ASSERT_EQ(::lchown((folder() / "mcp-heartbeat.json").c_str(), 65534, 65534), 0);
  home_.dir().write("theirs", "keep\n");
  ASSERT_EQ(::lchown((home_.root() / "theirs").c_str(), 65534, 65534), 0);
  fs::create_symlink(home_.root() / "theirs", folder() / "agent-events.jsonl");
  ASSERT_EQ(::lchown((folder() / "agent-events.jsonl").c_str(), 65534, 65534), 0);
  result = asNobody();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(home_.dir().read("theirs"), "keep\n");
  // Without the link the event lands.
  fs::remove(folder() / "agent-events.jsonl");
  result = asNobody();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(home_.dir().read("home/.local/share/Glimmet/agent-events.jsonl"),
              HasSubstr("\"kind\":\"finished\""));
}

TEST_F(SharedFolderAttack, ADeeplyNestedInboxNeitherCrashesRequestQuitNorGrows) {
  enableMCP();
  write("mcp-inbox.json", std::string(100'000, '[') + std::string(100'000, ']'));
  auto target = ChildProcess::helper({"sleep"});
  const auto result =
      mcp(json{{"jsonrpc", "2.0"},
               {"id", 1},
               {"method", "tools/call"},
               {"params", {{"name", "request_quit"}, {"arguments", {{"pid", target.pid()}}}}}}
              .dump() +
          "\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr(R"(\"accepted\":true)"));
  const auto inbox = home_.dir().read("home/.local/share/Glimmet/mcp-inbox.json");
  EXPECT_LT(inbox.size(), 4096u);
  EXPECT_EQ(json::parse(inbox).size(), 1u);
  EXPECT_FALSE(target.waitForExit(0)) << "nothing is ever signalled";
}

TEST_F(SharedFolderAttack, DiskScanReadsAKillLogWithoutEndInBoundedMemory) {
  fs::create_symlink("/dev/zero", folder() / "killlog.jsonl");
  auto result = diskScan();
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  fs::remove(folder() / "killlog.jsonl");
  {
    std::ofstream log(folder() / "killlog.jsonl", std::ios::binary);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 50; ++i) log << block;
  }
  result = diskScan();
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  // The largest child so far; with the sanitizers' own overhead included, an
  // unbounded read of either log would be far past this.
  struct rusage usage {};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 1024L * 1024L) << "kilobytes";
}

}  // namespace
}  // namespace glimmet
