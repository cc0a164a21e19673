// Live agent sessions: each running agent of the user together with everything it
// started, judged working, waiting or idle. Pure logic over per-process values, so
// it runs over recorded data; the survey makes the values from one snapshot.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/process/system_process_table.h"

namespace glimmet {

enum class ProcessRole { agent, ide, terminal };
enum class SessionChildKind { mcp, devServer, testRunner, browser, other };
enum class SessionActivity { working, waiting, idle };

/// "agent", "ide", "terminal".
std::string_view rawValue(ProcessRole role);
/// "mcp", "devServer", "testRunner", "browser", "other".
std::string_view rawValue(SessionChildKind kind);
/// "working", "waiting", "idle".
std::string_view rawValue(SessionActivity activity);

/// One process as the session builder sees it.
struct TrackedProcess {
  pid_t pid = 0;
  pid_t ppid = 0;
  uid_t uid = 0;
  std::string name;
  std::optional<std::string> path;
  std::string commandLine;  ///< the arguments joined with single spaces, or the name
  std::optional<std::string> cwd;
  std::chrono::system_clock::time_point start;
  std::uint64_t startTime = 0;  ///< microseconds since 1970
  std::uint64_t footprint = 0;  ///< bytes; 0 when unknown
  std::optional<double> cpuPercent;
  std::vector<std::uint16_t> ports;
  std::optional<ProcessRole> role;  ///< absent: no agent, IDE or terminal signature
  std::optional<std::string> agentName;
  std::optional<std::string> framework;
  std::optional<std::string> project;
  std::optional<pid_t> recordedAgentPID;  ///< the agent the ancestry record says started it
  std::optional<std::string> recordedAgentName;
  bool recordedAgentAlive = false;
  /// The agent whose own helper or daemon this is ("codex app-server"): never a
  /// root, and a child of a live session of that agent even when detached from it.
  std::optional<std::string> helperOf;
};

struct SessionChild {
  pid_t pid = 0;
  std::string name;
  std::string commandLine;
  SessionChildKind kind = SessionChildKind::other;
  std::vector<std::uint16_t> ports;
  std::uint64_t footprint = 0;
};

struct AgentSession {
  pid_t pid = 0;
  std::uint64_t startTime = 0;
  std::chrono::system_clock::time_point start;
  std::string agent;
  std::optional<std::string> project;
  std::optional<std::string> cwd;
  SessionActivity activity = SessionActivity::waiting;
  std::uint64_t footprint = 0;  ///< the agent and all its children
  std::vector<SessionChild> children;
  std::vector<std::uint16_t> ports;  ///< of the agent and its children, ascending, distinct
  std::optional<double> cpuPercent;  ///< sum of the known figures; absent when none is known
};

/// Below pid 100, a listed name or under a system folder: never a root or a child,
/// and never something an agent may ask to stop.
bool isSystemProcess(pid_t pid, std::string_view name, const std::optional<std::string>& path,
                     const SystemProcessTable& system);

class AgentSessionBuilder {
 public:
  static constexpr pid_t kLowestPID = 100;
  static constexpr double kWorkingCPUPercent = 5.0;
  static constexpr double kIdleCPUPercent = 1.0;
  static constexpr double kIdleAgeSeconds = 600;
  /// Without CPU figures a young agent is taken to be busy starting up.
  static constexpr double kWorkingWithoutCPUSeconds = 120;

  /// One session per root agent of `uid`, in the order of `processes`; what
  /// `system` holds never roots or joins one.
  static std::vector<AgentSession> build(const std::vector<TrackedProcess>& processes, uid_t uid,
                                         std::chrono::system_clock::time_point now,
                                         const SystemProcessTable& system);

  /// The kind of a session's child, by its command line, path, name and ports.
  static SessionChildKind kindOf(const TrackedProcess& process);
  /// The activity from the known CPU figures and the agent's age in seconds.
  static SessionActivity activityOf(const std::vector<double>& knownCPU, double ageSeconds);
};

}  // namespace glimmet
