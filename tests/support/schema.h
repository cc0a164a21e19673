// Validation of real --json output against docs/cli-schema.json, through the
// Debian-packaged jsonschema validator.
#pragma once

#include <string>

#include "support/run_process.h"

namespace glimmet::testing {

/// Problems found in `document` against #/$defs/`definition`, one per line; empty
/// when it is valid. With an empty `definition`, checks the schema file itself.
std::string schemaProblems(const std::string& definition, const std::string& document);

}  // namespace glimmet::testing
