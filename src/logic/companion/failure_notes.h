// What the companion says about its failures. It looks every second, so a
// folder that turned read-only or a full disk would otherwise put the same
// line in the journal every second: each failure is said once, again only when
// it changes, and its end is said once too.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace glimmet {

class FailureNotes {
 public:
  /// True when `message`, a failure of `concern`, is news: the first failure
  /// of it, or one that reads differently from the last one said.
  bool failed(std::string_view concern, std::string_view message);
  /// True when `concern` had failed: that it works again is news, once.
  bool succeeded(std::string_view concern);
  bool failing(std::string_view concern) const;

 private:
  std::map<std::string, std::string, std::less<>> said_;
};

}  // namespace glimmet
