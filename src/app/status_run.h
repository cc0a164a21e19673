// glimmet status: how much is going on, from one survey.
#pragma once

#include "app/listing_request.h"
#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

ExitStatus runStatus(const ListingRequest& request, RunContext& context);

}  // namespace glimmet
