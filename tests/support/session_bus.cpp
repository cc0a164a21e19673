#include "support/session_bus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace glimmet::testing {

bool PrivateSessionBus::available() {
  return ::access("/usr/bin/dbus-daemon", X_OK) == 0;
}

PrivateSessionBus::PrivateSessionBus(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const auto config = folder / "session-bus.conf";
  std::ofstream(config)
      << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)"
      << (folder / "bus").string() << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
  daemon_.emplace(ChildProcess::spawn({"/usr/bin/dbus-daemon", "--config-file=" + config.string(),
                                       "--nofork", "--nopidfile", "--print-address=1"}));
  address_ = daemon_->readReport();
  if (address_.empty()) throw std::runtime_error("dbus-daemon printed no address");
}

std::vector<std::string> PrivateSessionBus::environmentFor(const Environment& environment) const {
  std::vector<std::string> out;
  for (const auto& [name, value] : environment.variables())
    if (name != "DBUS_SESSION_BUS_ADDRESS") out.push_back(name + "=" + value);
  out.push_back("DBUS_SESSION_BUS_ADDRESS=" + address_);
  return out;
}

ChildProcess PrivateSessionBus::startNotificationService(const std::filesystem::path& callsFile,
                                                         bool impostor) const {
  std::vector<std::string> arguments = {"notification-service", callsFile.string()};
  if (impostor) arguments.push_back("--no-name");
  return ChildProcess::helper(arguments, {.environment = environmentFor(Environment())});
}

std::vector<nlohmann::json> notifyCalls(const std::filesystem::path& callsFile) {
  std::vector<nlohmann::json> calls;
  std::ifstream stream(callsFile);
  for (std::string line; std::getline(stream, line);) {
    auto call = nlohmann::json::parse(line, nullptr, false);
    if (call.is_object() && call.value("method", "") == "Notify") calls.push_back(std::move(call));
  }
  return calls;
}

void emit(ChildProcess& emitter, const std::string& line) {
  emitter.writeLine(line);
  ASSERT_EQ(emitter.readReport(), "sent") << line;
}

}  // namespace glimmet::testing
