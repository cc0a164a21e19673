#include "logic/kill/live_tree_killer.h"

#include "platform/system_processes.h"

namespace glimmet {

LiveTreeKiller::LiveTreeKiller(const CommandInputs& inputs, KillClock& clock)
    : signaller_(inputs.uid()),
      inspector_(inputs.uid()),
      killer_(signaller_, inspector_, inputs.protectedList, inputs.context,
              platform::systemProcessTable(), clock,
              inputs.signatures ? &*inputs.signatures : nullptr) {}

}  // namespace glimmet
