// Fresh random identifiers for records the tool hands to the application.
#pragma once

#include <string>

namespace glimmet {

/// A random (version 4) UUID in its standard upper-case text form,
/// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string randomUuid();

}  // namespace glimmet
