#include "logic/agents/agent_session.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "core/process/system_process_table.h"

namespace glimmet {
namespace {

bool containsAny(std::string_view text, std::initializer_list<std::string_view> needles) {
  return std::any_of(needles.begin(), needles.end(),
                     [&](std::string_view needle) { return text.find(needle) != text.npos; });
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Another user's process or a system one never belongs to a session.
struct Eligibility {
  uid_t uid;
  const SystemProcessTable& system;

  bool operator()(const TrackedProcess& process) const {
    return process.uid == uid && !isSystemProcess(process.pid, process.name, process.path, system);
  }
};

class ProcessIndex {
 public:
  explicit ProcessIndex(const std::vector<TrackedProcess>& processes) {
    for (const auto& process : processes) {
      byPID_.try_emplace(process.pid, &process);
      children_[process.ppid].push_back(process.pid);
    }
  }

  const TrackedProcess* find(pid_t pid) const {
    const auto found = byPID_.find(pid);
    return found == byPID_.end() ? nullptr : found->second;
  }
  const std::vector<pid_t>& children(pid_t pid) const {
    static const std::vector<pid_t> none;
    const auto found = children_.find(pid);
    return found == children_.end() ? none : found->second;
  }

  // A nested agent belongs to the session of the agent above it.
  // A loop in the parent links (pid reuse mid-snapshot) that leads back to the
  // process itself doesn't make it its own ancestor.
  bool hasAgentAncestor(const TrackedProcess& process) const {
    std::unordered_set<pid_t> visited = {process.pid};
    for (pid_t pid = process.ppid; pid >= 2 && visited.insert(pid).second;) {
      const TrackedProcess* ancestor = find(pid);
      if (ancestor == nullptr) return false;
      if (ancestor->role == ProcessRole::agent) return true;
      pid = ancestor->ppid;
    }
    return false;
  }

  // Breadth first below `root`, each process once, however the parent links loop.
  std::vector<const TrackedProcess*> descendants(pid_t root,
                                                 std::unordered_set<pid_t>& visited) const {
    std::vector<const TrackedProcess*> out;
    visited.insert(root);
    std::deque<pid_t> queue(children(root).begin(), children(root).end());
    while (!queue.empty()) {
      const pid_t pid = queue.front();
      queue.pop_front();
      if (visited.contains(pid)) continue;
      const TrackedProcess* process = find(pid);
      if (process == nullptr) continue;
      visited.insert(pid);
      out.push_back(process);
      const auto& next = children(pid);
      queue.insert(queue.end(), next.begin(), next.end());
    }
    return out;
  }

 private:
  std::unordered_map<pid_t, const TrackedProcess*> byPID_;
  std::unordered_map<pid_t, std::vector<pid_t>> children_;
};

bool isRoot(const TrackedProcess& process, const Eligibility& isEligible,
            const ProcessIndex& index) {
  return process.role == ProcessRole::agent && process.agentName && isEligible(process) &&
         !index.hasAgentAncestor(process);
}

std::optional<std::string> projectOf(const TrackedProcess& root) {
  if (root.project && !root.project->empty()) return root.project;
  if (!root.cwd || root.cwd->empty() || *root.cwd == "/") return std::nullopt;
  std::string_view cwd = *root.cwd;
  while (cwd.size() > 1 && cwd.back() == '/') cwd.remove_suffix(1);
  const auto slash = cwd.rfind('/');
  const auto last = slash == cwd.npos ? cwd : cwd.substr(slash + 1);
  if (last.empty()) return std::nullopt;
  return std::string(last);
}

std::vector<const TrackedProcess*> membersOf(const TrackedProcess& root,
                                             const std::vector<TrackedProcess>& processes,
                                             const ProcessIndex& index,
                                             const Eligibility& isEligible) {
  std::unordered_set<pid_t> visited;
  auto members = index.descendants(root.pid, visited);
  // Started by this agent but re-parented since (to pid 1 or the user's manager).
  for (const auto& process : processes)
    if (!visited.contains(process.pid) && isEligible(process) && process.recordedAgentAlive &&
        process.recordedAgentPID == root.pid)
      members.push_back(&process);
  return members;
}

// A daemon an agent detached from itself ("codex app-server --managed-daemon")
// serves that agent's sessions: while one lives, the daemon and what it runs are
// shown under the first of them rather than nowhere.
void adoptDetachedHelpers(const std::vector<TrackedProcess>& processes, const ProcessIndex& index,
                          const Eligibility& isEligible,
                          const std::vector<const TrackedProcess*>& roots,
                          std::vector<std::vector<const TrackedProcess*>>& members) {
  std::unordered_set<pid_t> claimed;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    claimed.insert(roots[i]->pid);
    for (const auto* member : members[i]) claimed.insert(member->pid);
  }
  for (const auto& process : processes) {
    if (!process.helperOf || claimed.contains(process.pid) || !isEligible(process)) continue;
    const auto session = std::find_if(roots.begin(), roots.end(), [&](const TrackedProcess* root) {
      return root->agentName == process.helperOf;
    });
    if (session == roots.end()) continue;
    auto& adopted = members[static_cast<std::size_t>(session - roots.begin())];
    adopted.push_back(&process);
    for (const auto* below : index.descendants(process.pid, claimed)) adopted.push_back(below);
  }
}

AgentSession sessionOf(const TrackedProcess& root,
                       const std::vector<const TrackedProcess*>& members,
                       const Eligibility& isEligible, std::chrono::system_clock::time_point now) {
  AgentSession session;
  session.pid = root.pid;
  session.startTime = root.startTime;
  session.start = root.start;
  session.agent = *root.agentName;
  session.project = projectOf(root);
  session.cwd = root.cwd;
  session.footprint = root.footprint;

  std::set<std::uint16_t> ports(root.ports.begin(), root.ports.end());
  std::vector<double> knownCPU;
  if (root.cpuPercent) knownCPU.push_back(*root.cpuPercent);
  for (const TrackedProcess* member : members) {
    if (!isEligible(*member)) continue;
    session.children.push_back({member->pid, member->name, member->commandLine,
                                AgentSessionBuilder::kindOf(*member), member->ports,
                                member->footprint});
    session.footprint += member->footprint;
    ports.insert(member->ports.begin(), member->ports.end());
    if (member->cpuPercent) knownCPU.push_back(*member->cpuPercent);
  }
  session.ports.assign(ports.begin(), ports.end());

  const double age = std::chrono::duration<double>(now - root.start).count();
  session.activity = AgentSessionBuilder::activityOf(knownCPU, age);
  if (!knownCPU.empty()) {
    double sum = 0;
    for (const double cpu : knownCPU) sum += cpu;
    session.cpuPercent = sum;
  }
  return session;
}

}  // namespace

std::string_view rawValue(ProcessRole role) {
  switch (role) {
    case ProcessRole::agent:
      return "agent";
    case ProcessRole::ide:
      return "ide";
    case ProcessRole::terminal:
      return "terminal";
  }
  return "agent";
}

std::string_view rawValue(SessionChildKind kind) {
  switch (kind) {
    case SessionChildKind::mcp:
      return "mcp";
    case SessionChildKind::devServer:
      return "devServer";
    case SessionChildKind::testRunner:
      return "testRunner";
    case SessionChildKind::browser:
      return "browser";
    case SessionChildKind::other:
      return "other";
  }
  return "other";
}

std::string_view rawValue(SessionActivity activity) {
  switch (activity) {
    case SessionActivity::working:
      return "working";
    case SessionActivity::waiting:
      return "waiting";
    case SessionActivity::idle:
      return "idle";
  }
  return "waiting";
}

// The one system table, so that sessions, protection and the safety verdicts
// agree: on Linux an agent's server run by /usr/bin/python3 is the user's.
bool isSystemProcess(pid_t pid, std::string_view name, const std::optional<std::string>& path,
                     const SystemProcessTable& system) {
  return pid < AgentSessionBuilder::kLowestPID || system.holds(name, path);
}

SessionChildKind AgentSessionBuilder::kindOf(const TrackedProcess& process) {
  const std::string text =
      lowered(process.commandLine + " " + process.path.value_or("") + " " + process.name);
  if (containsAny(text, {"mcp", "modelcontextprotocol"})) return SessionChildKind::mcp;
  if (!process.ports.empty() || process.framework) return SessionChildKind::devServer;
  if (containsAny(
          text, {"vitest", "jest", "pytest", "playwright", "cargo test", "go test", "xcodebuild"}))
    return SessionChildKind::testRunner;
  if (containsAny(text, {"chrome", "chromium", "firefox", "headless"}))
    return SessionChildKind::browser;
  return SessionChildKind::other;
}

SessionActivity AgentSessionBuilder::activityOf(const std::vector<double>& knownCPU,
                                                double ageSeconds) {
  if (knownCPU.empty())
    return ageSeconds < kWorkingWithoutCPUSeconds ? SessionActivity::working
                                                  : SessionActivity::waiting;
  const double busiest = *std::max_element(knownCPU.begin(), knownCPU.end());
  if (busiest >= kWorkingCPUPercent) return SessionActivity::working;
  if (ageSeconds >= kIdleAgeSeconds && busiest < kIdleCPUPercent) return SessionActivity::idle;
  return SessionActivity::waiting;
}

std::vector<AgentSession> AgentSessionBuilder::build(const std::vector<TrackedProcess>& processes,
                                                     uid_t uid,
                                                     std::chrono::system_clock::time_point now,
                                                     const SystemProcessTable& system) {
  const Eligibility isEligible{uid, system};
  const ProcessIndex index(processes);
  std::vector<const TrackedProcess*> roots;
  std::vector<std::vector<const TrackedProcess*>> members;
  std::unordered_set<pid_t> rootPIDs;
  for (const auto& process : processes) {
    // Only the first process with a pid counts, as in the index.
    if (index.find(process.pid) != &process || !isRoot(process, isEligible, index)) continue;
    if (!rootPIDs.insert(process.pid).second) continue;
    roots.push_back(&process);
    members.push_back(membersOf(process, processes, index, isEligible));
  }
  adoptDetachedHelpers(processes, index, isEligible, roots, members);
  std::vector<AgentSession> sessions;
  for (std::size_t i = 0; i < roots.size(); ++i)
    sessions.push_back(sessionOf(*roots[i], members[i], isEligible, now));
  return sessions;
}

}  // namespace glimmet
