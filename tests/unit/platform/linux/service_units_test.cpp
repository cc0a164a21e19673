#include "platform/service_units.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/fake_proc.h"

namespace glimmet::platform {
namespace {

TEST(ServiceUnit, UserServicesAreManagedAppsScopesAndSessionsAreNot) {
  const auto managed = serviceUnitFromCgroup(
      "0::/user.slice/user-1000.slice/user@1000.service/app.slice/syncthing.service\n");
  ASSERT_TRUE(managed);
  EXPECT_EQ(managed->unitName, "syncthing.service");
  EXPECT_TRUE(managed->managed);
  EXPECT_TRUE(serviceUnitFromCgroup("0::/system.slice/nginx.service\n")->managed);
  for (const char* mine :
       {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
        "app-gnome-code-4821.scope\n",
        "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
        "app-org.kde.konsole@a1b2.service\n",
        "0::/user.slice/user-1000.slice/user@1000.service/app.slice/vte-spawn-1f.scope\n",
        "0::/user.slice/user-1000.slice/session-3.scope\n",
        "0::/user.slice/user-1000.slice/user@1000.service/init.scope\n"})
    EXPECT_FALSE(serviceUnitFromCgroup(mine)->managed) << mine;
}

TEST(ServiceUnit, HybridHostsUseTheNamedHierarchyAndNoSystemdMeansNoUnit) {
  const auto hybrid =
      serviceUnitFromCgroup("12:cpu,cpuacct:/\n1:name=systemd:/system.slice/cron.service\n0::/\n");
  ASSERT_TRUE(hybrid);
  EXPECT_EQ(hybrid->cgroupPath, "/system.slice/cron.service");
  EXPECT_FALSE(serviceUnitFromCgroup("9:name=systemd:/\n8:pids:/\n0::/\n"));
  EXPECT_FALSE(serviceUnitFromCgroup(""));
  EXPECT_FALSE(serviceUnitFromCgroup(std::string("\0\xff\n", 3)));
  (void)serviceUnit(::getpid());  // reads without failing whatever this machine runs
}

TEST(ServiceUnit, ReadsTheCgroupBelowTheProcRoot) {
  testing::FakeProc proc;
  proc.write("70/cgroup", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/x.service\n");
  const auto unit = serviceUnit(70, proc.root());
  ASSERT_TRUE(unit);
  EXPECT_EQ(unit->unitName, "x.service");
  EXPECT_TRUE(unit->managed);
  EXPECT_FALSE(serviceUnit(71, proc.root()));
}

}  // namespace
}  // namespace glimmet::platform
