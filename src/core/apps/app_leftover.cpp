// The names of match confidences, as documents write them.
#include "core/apps/app_leftover.h"

namespace glimmet {

std::string_view rawValue(LeftoverConfidence confidence) {
  switch (confidence) {
    case LeftoverConfidence::exact:
      return "exact";
    case LeftoverConfidence::likely:
      return "likely";
    case LeftoverConfidence::orphan:
      return "orphan";
  }
  return "exact";
}

}  // namespace glimmet
