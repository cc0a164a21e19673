// A stand-in agent whose server is Debian's own /usr/bin/python3: the server is
// the user's work, so agents lists it with its port and status counts it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/unique_fd.h"
#include "support/child_process.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::Contains;
using ::testing::HasSubstr;

const nlohmann::json* withPID(const nlohmann::json& list, pid_t pid) {
  for (const auto& entry : list)
    if (entry["pid"] == pid) return &entry;
  return nullptr;
}

TEST(AgentsOnLinux, AServerRunByUsrBinPython3IsInItsSessionWithItsPort) {
  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  testing::IsolatedHome home;
  auto agent = ChildProcess::helper(
      {"agent", "/usr/bin/python3", "-m", "http.server", "0", "--bind", "127.0.0.1"},
      {.cwd = home.root(), .argv0 = "claude"});
  const auto python = static_cast<pid_t>(agent.reportedNumbers().at(0));
  const platform::UniqueFd pythonFd(static_cast<int>(::syscall(SYS_pidfd_open, python, 0)));

  // Python binds within moments; a listener is shown once it is two seconds old.
  nlohmann::json child;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto document = nlohmann::json::parse(home.glimmet({"agents", "--json"}).out);
    const auto* session = withPID(document["sessions"], agent.pid());
    ASSERT_NE(session, nullptr) << document.dump();
    const auto* started = withPID((*session)["started"], python);
    ASSERT_NE(started, nullptr) << "the /usr/bin/python3 child is missing: " << document.dump();
    if (!(*started)["ports"].empty()) {
      child = *started;
      EXPECT_EQ((*session)["ports"], (*started)["ports"]);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  ASSERT_FALSE(child.is_null()) << "python3 never showed its port";
  EXPECT_EQ(child["kind"], "devServer");
  const int port = child["ports"][0];

  const auto text = home.glimmet({"agents"});
  EXPECT_THAT(text.out, HasSubstr("  python3  devServer  :" + std::to_string(port)));

  // status counts the same session, and the server once it is listed (two seconds old).
  nlohmann::json status;
  for (int tries = 0; tries < 20; ++tries) {
    status = nlohmann::json::parse(home.glimmet({"status", "--json"}).out);
    const auto ports = status["ports"].get<std::vector<int>>();
    if (std::find(ports.begin(), ports.end(), port) != ports.end()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  EXPECT_GE(status["agentSessions"].get<int>(), 1);
  EXPECT_THAT(status["ports"].get<std::vector<int>>(), Contains(port)) << status.dump();

  if (pythonFd) ::syscall(SYS_pidfd_send_signal, pythonFd.get(), SIGKILL, nullptr, 0);
}

}  // namespace
}  // namespace glimmet
