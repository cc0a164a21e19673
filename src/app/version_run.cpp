#include "app/version_run.h"

#include "core/version.h"

namespace glimmet {

ExitStatus runVersion(RunContext& context) {
  context.out.line(GlimmetCore::version);
  return ExitStatus::ok;
}

}  // namespace glimmet
