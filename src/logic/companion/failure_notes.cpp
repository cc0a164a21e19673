#include "logic/companion/failure_notes.h"

namespace glimmet {

bool FailureNotes::failed(std::string_view concern, std::string_view message) {
  const auto found = said_.find(concern);
  if (found == said_.end()) {
    said_.emplace(std::string(concern), std::string(message));
    return true;
  }
  if (found->second == message) return false;
  found->second = std::string(message);
  return true;
}

bool FailureNotes::succeeded(std::string_view concern) {
  const auto found = said_.find(concern);
  if (found == said_.end()) return false;
  said_.erase(found);
  return true;
}

bool FailureNotes::failing(std::string_view concern) const {
  return said_.find(concern) != said_.end();
}

}  // namespace glimmet
