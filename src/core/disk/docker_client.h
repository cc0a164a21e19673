// A small HTTP/1.1 client for the Docker Engine on its local Unix socket: one
// request per connection, a time limit on the whole exchange, no HTTP library.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/environment.h"

namespace glimmet {

struct DockerError {
  enum class Kind { http, notRunning, badResponse, path, timeout };
  Kind kind = Kind::notRunning;
  int status = 0;  ///< the HTTP status for `http`
};

template <typename T>
using DockerResult = std::variant<T, DockerError>;

/// Where the engine's socket may be, in the order they are tried: DOCKER_HOST
/// (unix:// only), the current Docker context, then the usual socket files of
/// Docker Desktop, the system daemon, OrbStack, Colima, rootless Docker and Podman.
std::vector<std::filesystem::path> dockerSocketCandidates(const std::filesystem::path& home,
                                                          const Environment& environment);

/// The head and body of a complete HTTP/1.1 response read until the peer closed.
/// Decodes a chunked body. The body, or `http` for a status outside 200-299, or
/// `badResponse`.
DockerResult<std::string> parseHttpResponse(std::string_view response);

class DockerClient {
 public:
  DockerClient(std::filesystem::path home, const Environment& environment,
               std::chrono::milliseconds timeLimit = std::chrono::seconds(5));

  /// The first candidate that exists (DOCKER_HOST and the context are taken as given).
  std::optional<std::filesystem::path> socketPath() const;

  /// Sends `method path` and returns the response body, within `timeLimit`
  /// when given, else the client's own limit.
  DockerResult<std::string> request(
      std::string_view method, std::string_view path,
      std::optional<std::chrono::milliseconds> timeLimit = std::nullopt) const;
  DockerResult<std::string> get(
      std::string_view path,
      std::optional<std::chrono::milliseconds> timeLimit = std::nullopt) const {
    return request("GET", path, timeLimit);
  }

 private:
  std::vector<std::filesystem::path> candidates_;
  size_t pinned_ = 0;  ///< leading candidates chosen explicitly (DOCKER_HOST, context)
  std::chrono::milliseconds timeLimit_;
};

}  // namespace glimmet
