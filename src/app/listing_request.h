// What the listing commands (ls, ghosts, ports, status, agents) are asked: the
// form of their one document.
#pragma once

namespace glimmet {

struct ListingRequest {
  bool json = false;
};

}  // namespace glimmet
