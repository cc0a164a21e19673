// The leftover rule file, as disk scan and disk clean load it: without it
// neither can tell what anything is.
#pragma once

#include "app/run_context.h"
#include "core/disk/leftover_rules.h"

namespace glimmet {

/// The rules found for this run. A missing or unreadable file ends the
/// command with the message that says where rules come from; a file with a
/// rule that fails its checks isn't used at all, and says which rule and why
/// rather than that nothing was found. Throws CommandFailure (cannotStart).
LeftoverRuleSet loadLeftoverRules(const RunContext& context);

}  // namespace glimmet
