#include "app/companion_reaper.h"

namespace glimmet {

struct CompanionReaper::State {
  SystemTime startedAt;
};

CompanionReaper::CompanionReaper(SystemTime startedAt)
    : state_(std::make_unique<State>(State{startedAt})) {}

CompanionReaper::~CompanionReaper() = default;

std::optional<CompanionReap> CompanionReaper::tick(const CommandInputs&,
                                                   const std::vector<ProcessIdentity>&, SystemTime,
                                                   std::ostream&) {
  return std::nullopt;  // the triggers are not built yet
}

}  // namespace glimmet
