#include "app/live_tree_killer.h"

#include "core/process/system_process_table.h"

namespace glimmet {

LiveTreeKiller::LiveTreeKiller(const CommandInputs& inputs, KillClock& clock)
    : signaller_(inputs.uid()),
      inspector_(inputs.uid()),
      killer_(signaller_, inspector_, inputs.protectedList, inputs.context, systemProcessTable(),
              clock, inputs.signatures ? &*inputs.signatures : nullptr) {}

}  // namespace glimmet
