// loadLeftoverRules: the rule file's failures in the user's words.
#include "app/leftover_rules_input.h"

#include "core/error.h"

namespace glimmet {

LeftoverRuleSet loadLeftoverRules(const RunContext& context) {
  std::filesystem::path file;
  try {
    return LeftoverRuleSet::find(context.environment, context.executable, &file);
  } catch (const RuleError& error) {
    throw CommandFailure(error.userMessage(file.string()), ExitStatus::cannotStart);
  } catch (const RuleFileError&) {
    throw CommandFailure(std::string(kMissingLeftoverRulesMessage), ExitStatus::cannotStart);
  }
}

}  // namespace glimmet
