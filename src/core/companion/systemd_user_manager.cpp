// systemctl --user, run and read.
#include "core/companion/systemd_user_manager.h"

#include "core/tools/tool_locator.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

// Where systemctl lives on every distribution, for a tool started without PATH.
constexpr std::string_view kDefaultSearchPath = "/usr/bin:/bin";

}  // namespace

SystemdUserManager::SystemdUserManager(const Environment& environment)
    : environment_(environment),
      systemctl_(
          SearchPathLocator(environment.get("PATH").value_or(std::string(kDefaultSearchPath)))
              .locate("systemctl")) {}

UserManagerReach SystemdUserManager::reach() const {
  if (!systemctl_) return UserManagerReach::noSystemctl;
  // A question only a running manager answers; without one systemctl says it
  // can't connect to the bus and fails.
  return run({"show", "--property=Version"}, kProbeTimeLimit).succeeded
             ? UserManagerReach::reachable
             : UserManagerReach::unreachable;
}

SystemdUserManager::Outcome SystemdUserManager::run(const std::vector<std::string>& arguments,
                                                    std::chrono::seconds timeLimit) const {
  if (!systemctl_) return {false, "There is no systemctl here."};
  std::vector<std::string> argv = {*systemctl_, "--user", "--no-pager"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  Outcome outcome;
  try {
    auto process = launcher_.spawn(argv, "/", &environment_);
    const auto exit = launcher_.wait(process, POSIXLauncher::Clock::now() + timeLimit,
                                     [&](const std::string& line) {
                                       if (!line.empty()) outcome.lastLine = line;
                                     });
    outcome.succeeded = exit.kind == ProcessExit::Kind::exited && exit.code == 0;
    if (exit.kind == ProcessExit::Kind::timedOut)
      outcome.lastLine = "it gave no answer within " + std::to_string(timeLimit.count()) + " s";
  } catch (const platform::SystemError& failure) {
    outcome.lastLine = failure.what();
  }
  return outcome;
}

}  // namespace glimmet
