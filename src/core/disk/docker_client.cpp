// DockerClient: socket lookup, and one HTTP request over the engine's Unix socket.
#include "core/disk/docker_client.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/util/sha256.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/unix_socket.h"

namespace glimmet {
namespace {

using Clock = std::chrono::steady_clock;

// A disk-usage answer for a machine with thousands of images stays far below this.
constexpr size_t kMaxResponseBytes = 64 * 1024 * 1024;

std::optional<std::string> unixPath(std::string_view host) {
  constexpr std::string_view kScheme = "unix://";
  if (!host.starts_with(kScheme) || host.size() == kScheme.size()) return std::nullopt;
  return std::string(host.substr(kScheme.size()));
}

std::optional<std::string> contextSocket(const std::filesystem::path& home) {
  const auto config = platform::readFile(home / ".docker/config.json", 1 << 20);
  if (!config) return std::nullopt;
  const auto json = nlohmann::json::parse(*config, nullptr, false);
  if (!json.is_object() || !json.contains("currentContext") || !json["currentContext"].is_string())
    return std::nullopt;
  const auto name = json["currentContext"].get<std::string>();
  if (name.empty() || name == "default") return std::nullopt;
  const auto meta =
      platform::readFile(home / ".docker/contexts/meta" / sha256Hex(name) / "meta.json", 1 << 20);
  if (!meta) return std::nullopt;
  const auto metaJson = nlohmann::json::parse(*meta, nullptr, false);
  const nlohmann::json* node = &metaJson;
  for (const char* key : {"Endpoints", "docker", "Host"}) {
    if (!node->is_object() || !node->contains(key)) return std::nullopt;
    node = &(*node)[key];
  }
  if (!node->is_string()) return std::nullopt;
  return unixPath(node->get<std::string>());
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> decodeChunked(std::string_view body) {
  std::string out;
  size_t at = 0;
  while (true) {
    const auto lineEnd = body.find("\r\n", at);
    if (lineEnd == std::string_view::npos) return std::nullopt;
    auto sizeText = body.substr(at, lineEnd - at);
    if (const auto semicolon = sizeText.find(';'); semicolon != std::string_view::npos)
      sizeText = sizeText.substr(0, semicolon);
    if (sizeText.empty() || sizeText.size() > 15) return std::nullopt;
    size_t size = 0;
    for (const char c : sizeText) {
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                    : -1;
      if (digit < 0) return std::nullopt;
      size = size * 16 + static_cast<size_t>(digit);
    }
    at = lineEnd + 2;
    if (size == 0) return out;
    if (body.size() - at < size + 2) return std::nullopt;
    out.append(body.substr(at, size));
    at += size;
    if (body.substr(at, 2) != "\r\n") return std::nullopt;
    at += 2;
  }
}

}  // namespace

std::vector<std::filesystem::path> dockerSocketCandidates(const std::filesystem::path& home,
                                                          const Environment& environment) {
  std::vector<std::filesystem::path> paths;
  if (auto host = environment.get("DOCKER_HOST"))
    if (auto path = unixPath(*host)) paths.emplace_back(*path);
  if (auto path = contextSocket(home)) paths.emplace_back(*path);
  paths.push_back(home / ".docker/run/docker.sock");
  paths.emplace_back("/var/run/docker.sock");
  paths.push_back(home / ".orbstack/run/docker.sock");
  paths.push_back(home / ".colima/default/docker.sock");
  if (auto runtime = environment.absolutePath("XDG_RUNTIME_DIR"))
    paths.push_back(std::filesystem::path(*runtime) / "docker.sock");
  paths.push_back(home / ".docker/desktop/docker.sock");
  if (auto runtime = environment.absolutePath("XDG_RUNTIME_DIR"))
    paths.push_back(std::filesystem::path(*runtime) / "podman/podman.sock");
  return paths;
}

DockerResult<std::string> parseHttpResponse(std::string_view response) {
  const auto headEnd = response.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) return DockerError{DockerError::Kind::badResponse};
  const auto head = response.substr(0, headEnd);
  const auto body = response.substr(headEnd + 4);
  const auto lineEnd = std::min(head.find("\r\n"), head.size());
  const auto statusLine = head.substr(0, lineEnd);
  const auto space = statusLine.find(' ');
  if (!statusLine.starts_with("HTTP/") || space == std::string_view::npos)
    return DockerError{DockerError::Kind::badResponse};
  const auto code = statusLine.substr(space + 1, 3);
  if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      }))
    return DockerError{DockerError::Kind::badResponse};
  const int status = std::stoi(std::string(code));
  if (status < 200 || status > 299) return DockerError{DockerError::Kind::http, status};
  bool chunked = false;
  size_t at = lineEnd;
  while (at < head.size()) {
    const auto start = at + 2;
    const auto end = std::min(head.find("\r\n", start), head.size());
    const auto line = lower(head.substr(start, end - start));
    if (line.starts_with("transfer-encoding:") && line.find("chunked") != std::string::npos)
      chunked = true;
    at = end;
  }
  if (!chunked) return std::string(body);
  auto decoded = decodeChunked(body);
  if (!decoded) return DockerError{DockerError::Kind::badResponse};
  return std::move(*decoded);
}

DockerClient::DockerClient(std::filesystem::path home, const Environment& environment,
                           std::chrono::milliseconds timeLimit)
    : candidates_(dockerSocketCandidates(home, environment)), timeLimit_(timeLimit) {}

std::optional<std::filesystem::path> DockerClient::socketPath() const {
  // What the path leads to: a context may name its socket through a link.
  for (const auto& candidate : candidates_)
    if (platform::targetStatus(candidate)) return candidate;
  return std::nullopt;
}

DockerResult<std::string> DockerClient::request(
    std::string_view method, std::string_view path,
    std::optional<std::chrono::milliseconds> timeLimit) const {
  using Failure = platform::SocketExchangeFailure;
  const auto socketFile = socketPath();
  if (!socketFile) return DockerError{DockerError::Kind::notRunning};
  const std::string requestText = std::string(method) + " " + std::string(path) +
                                  " HTTP/1.1\r\nHost: docker\r\nUser-Agent: Glimmet\r\n"
                                  "Content-Length: 0\r\nConnection: close\r\n\r\n";
  const auto answer = platform::exchangeOnUnixSocket(
      *socketFile, requestText, Clock::now() + timeLimit.value_or(timeLimit_), kMaxResponseBytes);
  if (const auto* response = std::get_if<std::string>(&answer)) return parseHttpResponse(*response);
  switch (std::get<Failure>(answer)) {
    case Failure::pathTooLong:
      return DockerError{DockerError::Kind::path};
    case Failure::timedOut:
      return DockerError{DockerError::Kind::timeout};
    case Failure::receiveFailed:
    case Failure::tooLarge:
      return DockerError{DockerError::Kind::badResponse};
    case Failure::notConnected:
    case Failure::sendFailed:
      break;
  }
  return DockerError{DockerError::Kind::notRunning};
}

}  // namespace glimmet
