// glimmet requests: the quit requests agents file over MCP, listed, answered
// after a typed yes, or declined.
#pragma once

#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct RequestsList {
  bool json = false;

  CommandSpec spec();
};

struct RequestsAnswer {
  std::string id;

  CommandSpec spec();
};

struct RequestsDecline {
  std::string id;

  CommandSpec spec();
};

struct Requests {
  RequestsList list;
  RequestsAnswer answer;
  RequestsDecline decline;

  CommandSpec spec();
};

}  // namespace glimmet::cli
