// glimmet ls: the user's dev servers and every other listener, from one snapshot.
#pragma once

#include "app/listing_request.h"
#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

ExitStatus runLs(const ListingRequest& request, RunContext& context);

}  // namespace glimmet
