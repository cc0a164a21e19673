#include "platform/port_probe.h"

#include <gtest/gtest.h>

#include "support/child_process.h"

namespace glimmet::platform {
namespace {

using testing::ChildProcess;
constexpr auto kShortWait = std::chrono::milliseconds(300);

std::uint16_t portOf(const ChildProcess& child) {
  return static_cast<std::uint16_t>(child.reportedNumbers().at(0));
}

TEST(PortProbe, TellsWebServersFromSilentAndClosedPorts) {
  const auto web = ChildProcess::helper({"http", "127.0.0.1"});
  const auto tls = ChildProcess::helper({"tls", "127.0.0.1"});
  const auto banner = ChildProcess::helper({"banner", "127.0.0.1"});
  const auto silent = ChildProcess::helper({"silent", "127.0.0.1"});
  const auto web6 = ChildProcess::helper({"http", "::1"});
  EXPECT_EQ(probeLoopbackPort(portOf(web), ProbeFamily::ipv4, kShortWait), ProbeOutcome::http);
  EXPECT_EQ(probeLoopbackPort(portOf(tls), ProbeFamily::ipv4, kShortWait), ProbeOutcome::http);
  EXPECT_EQ(probeLoopbackPort(portOf(banner), ProbeFamily::ipv4, kShortWait),
            ProbeOutcome::tcpOnly);
  EXPECT_EQ(probeLoopbackPort(portOf(silent), ProbeFamily::ipv4, kShortWait),
            ProbeOutcome::noReply);
  EXPECT_EQ(probeLoopbackPort(portOf(web6), ProbeFamily::ipv6, kShortWait), ProbeOutcome::http);
  // Nobody on the IPv4 side of an IPv6-only listener.
  EXPECT_EQ(probeLoopbackPort(portOf(web6), ProbeFamily::ipv4, kShortWait),
            ProbeOutcome::unreachable);
}

}  // namespace
}  // namespace glimmet::platform
