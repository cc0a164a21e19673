// glimmet ports: every listening port, the user's and everyone else's, from one survey.
#pragma once

#include "app/listing_request.h"
#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

ExitStatus runPorts(const ListingRequest& request, RunContext& context);

}  // namespace glimmet
