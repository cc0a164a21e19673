// glimmet ghosts: the processes agents left behind, from one snapshot.
#pragma once

#include "app/listing_request.h"
#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

/// Without the signatures it says why on standard error and ends with status 3.
ExitStatus runGhosts(const ListingRequest& request, RunContext& context);

}  // namespace glimmet
