// The signature file as data: agents, IDEs and terminals, ghost kinds,
// dev-server frameworks and the hints that tie a process to an agent.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace glimmet {

class SignatureFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SignatureSet {
  struct AgentRoot {
    enum class Kind { agent, ide, terminal };
    std::string id;
    std::string agent;
    Kind kind = Kind::agent;
    std::vector<std::string> exeBasenames;
    std::vector<std::string> exePathContains;
    std::vector<std::string> argvPatterns;
    bool verified = false;
    /// Optional ("helperArgvPatterns"): command lines of the program's own helpers
    /// and daemons ("codex app-server --managed-daemon"). A process that matches the
    /// entry and one of these is not a root but that agent's helper. Files without
    /// the key load as before: every match is then a root.
    std::vector<std::string> helperArgvPatterns;
  };
  struct Ghost {
    std::string id;
    std::string label;
    std::vector<std::string> patterns;
    std::vector<std::string> exePatterns;
    bool requiresGhostAncestor = false;
    bool verified = false;
  };
  struct DevServer {
    std::string id;
    std::string framework;
    std::vector<std::string> patterns;
    std::vector<uint16_t> ports;
  };
  struct EnvHint {
    struct ValueContains {
      std::string namePrefix;
      std::string text;
    };
    std::string agent;
    std::vector<std::string> variables;
    std::vector<std::string> prefixes;
    std::optional<std::vector<std::string>> requireAll;
    std::optional<ValueContains> anyValueContains;
    bool verified = false;
  };
  struct PathHint {
    std::string agent;
    std::vector<std::string> patterns;
  };

  int64_t version = 0;
  std::vector<AgentRoot> agentRoots;
  std::vector<Ghost> ghosts;
  std::vector<DevServer> devServers;
  std::vector<EnvHint> envHints;
  std::vector<PathHint> pathHints;

  /// Throws SignatureFileError for malformed JSON, a missing or mistyped required
  /// key, an unknown kind or a port outside 0 to 65535. Unknown keys are ignored.
  static SignatureSet decode(std::string_view bytes);
};

/// "agent", "ide", "terminal".
std::string_view kindName(SignatureSet::AgentRoot::Kind kind);

}  // namespace glimmet
