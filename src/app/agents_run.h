// glimmet agents: live agent sessions and what crashed ones left behind, from one survey.
#pragma once

#include "app/listing_request.h"
#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

ExitStatus runAgents(const ListingRequest& request, RunContext& context);

}  // namespace glimmet
