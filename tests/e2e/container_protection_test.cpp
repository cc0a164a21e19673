// Container plumbing on the host: a process named docker-proxy holding a port
// (the test helper under that name, no Docker needed) is tagged by ls and
// ports and refused by kill, unless the user switched the default off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/process/system_process_inspector.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"

namespace glimmet {
namespace {

using testing::ChildProcess;
using ::testing::HasSubstr;

constexpr const char* kLabel = "Protected by default: Container engines";

using testing::alive;

// The helper copied under `name`, so that the kernel names the process so.
std::filesystem::path helperNamed(const testing::IsolatedHome& home, const std::string& name) {
  const auto path = home.root() / "bin" / name;
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::copy_file(testing::helperBinary(), path);
  ::chmod(path.c_str(), 0755);
  return path;
}

const nlohmann::json* withPID(const nlohmann::json& list, pid_t pid) {
  for (const auto& entry : list)
    if (entry["pid"] == pid) return &entry;
  return nullptr;
}

TEST(ContainerEngines, ADockerProxyPortIsTaggedAndKillLeavesItAlone) {
  testing::IsolatedHome home;
  auto proxy =
      ChildProcess::spawn({helperNamed(home, "docker-proxy").string(), "listen", "127.0.0.1"});
  const std::string port = proxy.readReport();
  ASSERT_FALSE(port.empty());
  // Listeners younger than two seconds are still starting and aren't listed.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));

  const auto refused = home.glimmet({"kill", ":" + port});
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.out, "Couldn't stop :" + port + ": protected by default: container engines.\n");
  EXPECT_TRUE(alive(proxy.pid()));

  EXPECT_THAT(home.glimmet({"ls"}).out, HasSubstr("[" + std::string(kLabel) + "]"));
  const auto ls = nlohmann::json::parse(home.glimmet({"ls", "--json"}).out);
  const auto* server = withPID(ls["servers"], proxy.pid());
  ASSERT_NE(server, nullptr);
  EXPECT_EQ((*server)["protected"], kLabel);
  const auto ports = nlohmann::json::parse(home.glimmet({"ports", "--json"}).out);
  bool tagged = false;
  for (const auto& listener : ports["listeners"])
    if (listener["port"] == std::stoi(port)) tagged = listener["protected"] == kLabel;
  EXPECT_TRUE(tagged) << ports.dump();

  // Switched off, like any default; protect keeps the switch as it was.
  home.dir().write("home/.local/share/Glimmet/protected.json",
                   R"({"userRules": [], "disabledDefaults": ["containers"]})");
  ASSERT_EQ(home.glimmet({"protect", "*not-this-one*"}).status, 0);
  EXPECT_THAT(home.dir().read("home/.local/share/Glimmet/protected.json"),
              HasSubstr("\"containers\""));
  const auto freed = home.glimmet({"kill", ":" + port});
  EXPECT_EQ(freed.status, 0) << freed.out;
  EXPECT_THAT(freed.out, HasSubstr("Freed :" + port));
  EXPECT_FALSE(alive(proxy.pid()));
}

}  // namespace
}  // namespace glimmet
