// The Docker client against a real Unix-socket server written here: socket
// lookup, plain and chunked answers, errors, silence, and the disk figures.
#include "core/disk/docker_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "core/disk/docker_disk_usage.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

Environment vars(std::initializer_list<std::pair<std::string, std::string>> pairs) {
  Environment environment;
  for (const auto& [name, value] : pairs) environment = environment.with(name, value);
  return environment;
}

// Serves one connection: reads the request head, answers `response` (or nothing,
// holding the connection open until the client gives up), then closes.
class FakeEngine {
 public:
  FakeEngine(std::filesystem::path path, std::string response, bool silent = false)
      : path_(std::move(path)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 1) != 0)
      throw std::runtime_error("can't listen on " + path_.string());
    thread_ = std::thread([this, response, silent] {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string head;
      char buffer[1024];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const auto got = ::read(client, buffer, sizeof(buffer));
        if (got <= 0) break;
        head.append(buffer, static_cast<size_t>(got));
      }
      request = head;
      if (silent) {
        ::read(client, buffer, sizeof(buffer));  // until the client closes
      } else {
        (void)!::write(client, response.data(), response.size());
      }
      ::close(client);
    });
  }
  ~FakeEngine() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  std::string request;

 private:
  std::filesystem::path path_;
  int listener_ = -1;
  std::thread thread_;
};

const std::string kDiskUsage = R"({
  "Images": [
    {"Size": 1000, "SharedSize": 400, "Containers": 0},
    {"Size": 5000, "SharedSize": 0, "Containers": 2},
    {"Size": 300, "SharedSize": 900, "Containers": 0}
  ],
  "Containers": [{"SizeRw": 70, "State": "exited"}, {"SizeRw": 30, "State": "running"},
                 {"SizeRw": 5}, {"SizeRw": -4, "State": "dead"}],
  "Volumes": [{"UsageData": {"Size": 800, "RefCount": 0}}, {"UsageData": {"Size": 200, "RefCount": 1}}],
  "BuildCache": [{"Size": 90, "InUse": false}, {"Size": 10, "InUse": true}]
})";

std::string ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n" + body;
}

TEST(DockerClient, LooksForTheSocketInTheDocumentedOrder) {
  testing::TempDir dir;
  const auto home = dir.path();
  const auto tcp = dockerSocketCandidates(home, vars({{"DOCKER_HOST", "tcp://1.2.3.4:2375"}}));
  EXPECT_EQ(tcp.front(), home / ".docker/run/docker.sock");
  const auto unix = dockerSocketCandidates(
      home, vars({{"DOCKER_HOST", "unix:///run/d.sock"}, {"XDG_RUNTIME_DIR", "/run/user/7"}}));
  EXPECT_EQ(unix.front(), "/run/d.sock");
  EXPECT_EQ(unix[2], "/var/run/docker.sock");
  EXPECT_NE(std::find(unix.begin(), unix.end(), "/run/user/7/docker.sock"), unix.end());
  // The current context's endpoint, found through the digest of its name.
  dir.write(".docker/config.json", R"({"currentContext": "desktop-linux"})");
  dir.write(
      ".docker/contexts/meta/"
      "fe9c6bd7a66301f49ca9b6a70b217107cd1284598bfc254700c989b916da791e/meta.json",
      R"({"Endpoints": {"docker": {"Host": "unix:///home/me/.docker/desktop/docker.sock"}}})");
  EXPECT_EQ(dockerSocketCandidates(home, Environment()).front(),
            "/home/me/.docker/desktop/docker.sock");
}

TEST(DockerClient, ReadsPlainAndChunkedAnswersAlike) {
  testing::TempDir dir;
  const auto socket = dir / "docker.sock";
  const Environment environment = vars({{"DOCKER_HOST", "unix://" + socket.string()}});
  std::string plain, chunked;
  {
    FakeEngine engine(socket, ok(kDiskUsage));
    auto body = DockerClient(dir.path(), environment).get("/system/df");
    ASSERT_TRUE(std::holds_alternative<std::string>(body));
    plain = std::get<std::string>(body);
    EXPECT_TRUE(engine.request.starts_with("GET /system/df HTTP/1.1\r\nHost: docker\r\n"));
  }
  std::filesystem::remove(socket);
  {
    std::string response = "HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: chunked\r\n\r\n";
    const std::string_view body = kDiskUsage;
    for (size_t at = 0; at < body.size(); at += 100) {
      const auto piece = body.substr(at, 100);
      char size[16];
      std::snprintf(size, sizeof(size), "%zx\r\n", piece.size());
      response += size + std::string(piece) + "\r\n";
    }
    response += "0\r\n\r\n";
    FakeEngine engine(socket, response);
    auto decoded = DockerClient(dir.path(), environment).get("/system/df");
    ASSERT_TRUE(std::holds_alternative<std::string>(decoded));
    chunked = std::get<std::string>(decoded);
  }
  EXPECT_EQ(plain, kDiskUsage);
  EXPECT_EQ(chunked, plain);
}

TEST(DockerClient, ReportsErrorsSilenceAndAbsenceAsValues) {
  testing::TempDir dir;
  const auto socket = dir / "docker.sock";
  const Environment environment = vars({{"DOCKER_HOST", "unix://" + socket.string()}});
  const auto kindOf = [](const DockerResult<std::string>& result) {
    return std::get<DockerError>(result).kind;
  };
  {
    FakeEngine engine(socket, "HTTP/1.1 500 Internal Server Error\r\n\r\noops");
    const auto result = DockerClient(dir.path(), environment).get("/system/df");
    ASSERT_TRUE(std::holds_alternative<DockerError>(result));
    EXPECT_EQ(kindOf(result), DockerError::Kind::http);
    EXPECT_EQ(std::get<DockerError>(result).status, 500);
  }
  std::filesystem::remove(socket);
  {
    FakeEngine engine(socket, "", /*silent=*/true);
    const auto result = DockerClient(dir.path(), environment, 200ms).get("/system/df");
    ASSERT_TRUE(std::holds_alternative<DockerError>(result));
    EXPECT_EQ(kindOf(result), DockerError::Kind::timeout);
  }
  std::filesystem::remove(socket);
  {
    FakeEngine engine(socket, "garbage without a head");
    EXPECT_EQ(kindOf(DockerClient(dir.path(), environment).get("/x")),
              DockerError::Kind::badResponse);
  }
  std::filesystem::remove(socket);
  // A socket file nobody listens on, and no socket at all.
  dir.write("docker.sock", "");
  EXPECT_EQ(kindOf(DockerClient(dir.path(), environment).get("/x")), DockerError::Kind::notRunning);
  const Environment nowhere = vars({{"DOCKER_HOST", "unix://" + (dir / "none.sock").string()}});
  const DockerClient absent(dir / "empty-home", nowhere);
  if (!absent.socketPath()) {
    EXPECT_EQ(kindOf(absent.get("/x")), DockerError::Kind::notRunning);
  }
}

// The ping comes first with its own 1 s limit, so an engine socket that
// accepts and never answers doesn't hold the scan for the client's full limit.
TEST(DockerDiskUsage, ASocketThatNeverAnswersCostsAtMostASecond) {
  testing::TempDir dir;
  const auto socket = dir / "docker.sock";
  const Environment environment = vars({{"DOCKER_HOST", "unix://" + socket.string()}});
  FakeEngine engine(socket, "", /*silent=*/true);
  const auto started = std::chrono::steady_clock::now();
  const auto result = loadDockerDiskUsage(DockerClient(dir.path(), environment, 10s));
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(std::holds_alternative<DockerError>(result));
  EXPECT_EQ(std::get<DockerError>(result).kind, DockerError::Kind::timeout);
  EXPECT_LT(took, 1900ms);
  EXPECT_TRUE(engine.request.starts_with("GET /_ping HTTP/1.1\r\n")) << engine.request;
}

TEST(DockerDiskUsage, CountsWhatCleaningWouldFree) {
  const auto stats = DockerStats::fromDiskUsage(kDiskUsage);
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->unusedImages, (DockerFigure{6300, 600 + 0, 2}));
  EXPECT_EQ(stats->stoppedContainers, (DockerFigure{105, 70, 2}));
  EXPECT_EQ(stats->volumes, (DockerFigure{1000, 800, 1}));
  EXPECT_EQ(stats->buildCache, (DockerFigure{100, 90, 1}));
  EXPECT_FALSE(DockerStats::fromDiskUsage("[1, 2]"));
  EXPECT_EQ(DockerStats::fromDiskUsage("{}")->volumes, DockerFigure{});
}

}  // namespace
}  // namespace glimmet
