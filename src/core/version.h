// The one version text that the tool and its companion application report.
#pragma once

#include <string_view>

namespace glimmet {

struct GlimmetCore {
  static constexpr std::string_view version = "1.3.0";
};

}  // namespace glimmet
