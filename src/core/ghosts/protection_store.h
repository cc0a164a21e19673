// Editing the user's command-line glob rules in protected.json.
#pragma once

#include <string>

#include "core/ghosts/protection.h"
#include "core/settings/json_store.h"

namespace glimmet {

/// The rules in `store`, or the empty set when the file is missing or unreadable.
ProtectedList loadProtectedList(const JSONStore& store);

/// Adds a commandGlob rule; false when one with exactly this pattern exists
/// (nothing is written then). Throws platform::SystemError when saving fails.
bool addProtectedGlob(const JSONStore& store, const std::string& pattern);

/// Removes every commandGlob rule whose pattern is exactly `pattern`; false when
/// there was none (nothing is written then). Throws platform::SystemError.
bool removeProtectedGlob(const JSONStore& store, const std::string& pattern);

}  // namespace glimmet
