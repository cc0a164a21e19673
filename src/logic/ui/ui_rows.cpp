// The rows of each tab. Every text that comes from a process or a path passes
// through printable() (and command lines through the secret masker) before it
// reaches a row, so nothing of someone else's choosing can move the cursor.
#include "logic/ui/ui_rows.h"

#include <algorithm>
#include <cmath>

#include "core/disk/clean_action.h"
#include "core/disk/disk_vocabulary.h"
#include "core/ghosts/ghost.h"
#include "core/ghosts/protection.h"
#include "core/output/byte_format.h"
#include "core/output/iso8601.h"
#include "core/output/text.h"
#include "core/util/home_path.h"
#include "core/util/secret_masker.h"
#include "logic/disk/disk_scan_document.h"
#include "logic/ui/ui_text.h"

namespace glimmet {
namespace {

std::string identityKey(const ProcessIdentity& identity) {
  return std::to_string(identity.pid) + "@" + std::to_string(identity.startTime);
}

std::string maskedCommandOf(const ProcessRecord& record) {
  return printable(SecretMasker::maskedCommand(record.argv, record.name));
}

// The tree killer's preflight, asked ahead so the view can say why before the
// user asks: the same protection rules, for the same facts.
std::optional<ProtectionReason> protectionOf(const ProcessRecord& record,
                                             const std::vector<std::uint16_t>& ports,
                                             const std::optional<std::string>& repoPath,
                                             const ListRules& rules,
                                             const std::optional<AgentRootMatch>& agent = {}) {
  const auto subject = agent ? protectionSubject(record, ports, repoPath, agent)
                             : protectionSubject(record, ports, repoPath);
  return checkProtection(subject, rules.context, rules.protectedList, rules.system);
}

std::string cannotStopBecause(const ProtectionReason& reason) {
  if (reason.kind == ProtectionReason::Kind::otherUser)
    return "It's another user's process, so glimmet never stops it.";
  if (reason.kind == ProtectionReason::Kind::systemProcess)
    return "It's a system process, so glimmet never stops it.";
  return reason.label() + ", so glimmet won't stop it.";
}

std::string pidTarget(pid_t pid) {
  return "PID " + std::to_string(pid);
}

// What a confirmed `k` stops: the ports name it when it holds any, as kill does.
UiStopTarget stopTarget(const ProcessRecord& record, std::vector<std::uint16_t> ports,
                        std::size_t others) {
  UiStopTarget target;
  target.identity = record.identity;
  target.target = ports.empty() ? pidTarget(record.pid()) : portList(ports);
  target.ports = std::move(ports);
  target.what = printable(displayCommand(record));
  target.others = others;
  return target;
}

std::string stopLine(std::size_t others) {
  if (others == 0) return "Yours and not protected: k stops it.";
  return "Yours and not protected: k stops it and the " + processCount(others) + " it started.";
}

// The parents a process has now, nearest first, up to the first one that isn't there.
std::string parentsNow(const ProcessSnapshot& snapshot, const ProcessRecord& record) {
  std::string chain;
  pid_t pid = record.ppid;
  for (int step = 0; step < 8 && pid > 0; ++step) {
    const auto* parent = snapshot.record(pid);
    if (parent == nullptr) break;
    chain +=
        (chain.empty() ? "" : " < ") + printable(parent->name) + " (" + std::to_string(pid) + ")";
    if (pid == 1 || parent->ppid == pid) break;
    pid = parent->ppid;
  }
  return chain.empty() ? "none that is still running" : chain;
}

std::string chainAtBirth(const Ghost& ghost, const ProcessSnapshot& snapshot) {
  if (ghost.chainAtBirth.empty()) return "not recorded";
  std::string chain;
  for (const auto& entry : ghost.chainAtBirth) {
    const auto* now = snapshot.record(entry.pid);
    const bool alive = now != nullptr && now->identity == entry.identity();
    chain += (chain.empty() ? "" : " < ") + printable(entry.name) + " (" +
             std::to_string(entry.pid) + (entry.root ? ", " + printable(entry.root->agent) : "") +
             (alive ? "" : ", ended") + ")";
  }
  return chain;
}

void addProcessFacts(std::vector<std::string>& details, const ProcessRecord& record,
                     const std::vector<std::uint16_t>& ports, std::uint64_t memory,
                     const UiSources& sources) {
  details.push_back("Command: " + maskedCommandOf(record));
  details.push_back("PID " + std::to_string(record.pid()) + ", up " +
                    ageText(record.age(sources.now)));
  if (record.cwd) details.push_back("Folder: " + printable(tildePath(*record.cwd, sources.home)));
  if (!ports.empty()) details.push_back("Ports: " + portList(ports));
  details.push_back("Memory: " + decimalBytes(memory));
}

std::string projectText(const DevServer& server, const std::string& home) {
  if (const auto* repo = server.repoInfo()) {
    auto text = printable(repo->projectName());
    if (auto head = repo->headText()) text += " (" + printable(*head) + ")";
    return text;
  }
  if (server.cwd) return printable(tildePath(*server.cwd, home));
  return "";
}

// --- Sessions --------------------------------------------------------------

UiRow sessionRow(const AgentSession& session, const UiSources& sources) {
  UiRow row;
  row.key = "session:" + std::to_string(session.pid) + "@" + std::to_string(session.startTime);
  const auto name = printable(session.agent) +
                    (session.project ? " · " + printable(*session.project) : "") + "  " +
                    std::string(rawValue(session.activity));
  row.text = padCut(std::to_string(session.pid), 7) + " " + padCut(name, 44) + " " +
             padCut(portColumn(session.ports, 13), 13) + " " + decimalBytes(session.footprint);
  const auto* record = sources.survey.snapshot.record(session.pid);
  row.details.push_back("Agent session: " + printable(session.agent) + ", " +
                        std::string(rawValue(session.activity)) + ", " +
                        processCount(session.children.size()) + " started");
  if (record == nullptr) {
    row.cannotStop = "It has just ended.";
    return row;
  }
  addProcessFacts(row.details, *record, session.ports, session.footprint, sources);
  row.details.push_back("Started by (now): " + parentsNow(sources.survey.snapshot, *record));
  const AgentRootMatch agent{.id = {}, .agent = session.agent};
  if (auto reason = protectionOf(*record, session.ports, std::nullopt, sources.rules, agent)) {
    row.cannotStop = cannotStopBecause(*reason);
    row.details.push_back("Not safe to stop from here: " + reason->label() + ".");
  } else {
    row.stop = stopTarget(*record, session.ports, session.children.size());
    row.details.push_back("It's a live agent: stopping it ends the session and all it started.");
  }
  return row;
}

const DevServer* serverWithPID(const Survey& survey, pid_t pid) {
  for (const auto& server : survey.servers)
    if (server.pid == pid && server.ownedByCurrentUser) return &server;
  return nullptr;
}

UiRow childRow(const AgentSession& session, const SessionChild& child, bool last,
               const UiSources& sources) {
  UiRow row;
  const auto& snapshot = sources.survey.snapshot;
  const auto* record = snapshot.record(child.pid);
  row.key = "child:" + std::to_string(session.pid) + ":" +
            (record ? identityKey(record->identity) : std::to_string(child.pid));
  const auto name = std::string(last ? "└ " : "├ ") +
                    printable(record ? displayCommand(*record) : child.name) + "  " +
                    std::string(rawValue(child.kind));
  row.text = padCut(std::to_string(child.pid), 7) + " " + padCut(name, 44) + " " +
             padCut(portColumn(child.ports, 13), 13) + " " + decimalBytes(child.footprint);
  row.details.push_back("Started by the " + printable(session.agent) + " session " +
                        std::to_string(session.pid) + " (" + std::string(rawValue(child.kind)) +
                        ")");
  if (record == nullptr) {
    row.cannotStop = "It has just ended.";
    return row;
  }
  const auto descendants = snapshot.descendants(child.pid).size();
  addProcessFacts(row.details, *record, child.ports, child.footprint, sources);
  row.details.push_back("Started by (now): " + parentsNow(snapshot, *record));
  const auto* server = serverWithPID(sources.survey, child.pid);
  const auto* repo = server ? server->repoInfo() : nullptr;
  std::optional<std::string> repoPath;
  if (repo) repoPath = repo->mainRepoPath;
  if (auto reason = protectionOf(*record, child.ports, repoPath, sources.rules)) {
    row.cannotStop = cannotStopBecause(*reason);
    row.details.push_back("Not safe to stop from here: " + reason->label() + ".");
  } else {
    row.stop = stopTarget(*record, child.ports, descendants);
    row.stop->repoPath = repoPath;
    if (repo) {
      row.stop->worktree = repo->worktreeName;
      row.stop->branch = repo->headText();
    }
    row.details.push_back(stopLine(descendants) + " Its agent is still running and may need it.");
  }
  return row;
}

UiTabRows sessionRows(const UiSources& sources) {
  UiTabRows tab;
  tab.columns = padCut("PID", 7) + " " + padCut("AGENT AND WHAT IT STARTED", 44) + " " +
                padCut("PORTS", 13) + " MEMORY";
  tab.empty = "No live agent sessions.";
  for (const auto& session : sources.survey.sessions) {
    tab.rows.push_back(sessionRow(session, sources));
    for (std::size_t i = 0; i < session.children.size(); ++i)
      tab.rows.push_back(
          childRow(session, session.children[i], i + 1 == session.children.size(), sources));
  }
  return tab;
}

// --- Ghosts ----------------------------------------------------------------

std::string whyAGhost(const Ghost& ghost) {
  switch (ghost.origin.kind) {
    case Origin::Kind::exact:
      return "The " + printable(ghost.origin.agent) + " session that started it (PID " +
             std::to_string(ghost.origin.rootIdentity.pid) + ") has ended.";
    case Origin::Kind::likely:
      return "Likely left by " + printable(ghost.origin.agent) + " (by its " + ghost.origin.basis +
             "), and no agent above it is running.";
    case Origin::Kind::unknownAgent:
      return "It matches an agent's tool and outlived whatever started it.";
    case Origin::Kind::orphanedDevServer:
      return "A dev server whose terminal closed: its parent exited.";
  }
  return {};
}

// The origin in a column: the details say why a terminal matters.
std::string originColumn(const Origin& origin) {
  return origin.kind == Origin::Kind::orphanedDevServer ? "Orphaned dev server"
                                                        : origin.fullLabel();
}

UiRow ghostRow(const Ghost& ghost, const UiSources& sources) {
  UiRow row;
  row.key = "ghost:" + identityKey(ghost.root.identity);
  row.text = padCut(std::to_string(ghost.root.pid()), 7) + " " +
             padCut(printable(ghost.label), 24) + " " +
             padCut(printable(originColumn(ghost.origin)), 25) + " " +
             padCut(portColumn(ghost.ports, 11), 11) + " " + decimalBytes(ghost.footprint);
  row.details.push_back("Ghost: " + printable(ghost.label) + ", " +
                        printable(ghost.origin.fullLabel()));
  addProcessFacts(row.details, ghost.root, ghost.ports, ghost.footprint, sources);
  if (ghost.repo) {
    auto project = printable(tildePath(*ghost.repo, sources.home));
    if (ghost.worktree) project += ", worktree " + printable(*ghost.worktree);
    if (ghost.branch) project += " (" + printable(*ghost.branch) + ")";
    row.details.push_back("Repository: " + project);
  }
  row.details.push_back("Chain at birth: " + chainAtBirth(ghost, sources.survey.snapshot));
  row.details.push_back("Why it's a ghost: " + whyAGhost(ghost));
  row.details.push_back(stopLine(ghost.members.size()));
  row.stop = stopTarget(ghost.root, ghost.ports, ghost.members.size());
  row.stop->repoPath = ghost.repo;
  row.stop->worktree = ghost.worktree;
  row.stop->branch = ghost.branch;
  row.stop->origin = ghost.origin.fullLabel();
  return row;
}

UiTabRows ghostRows(const UiSources& sources) {
  UiTabRows tab;
  tab.columns = padCut("PID", 7) + " " + padCut("GHOST", 24) + " " + padCut("ORIGIN", 25) + " " +
                padCut("PORTS", 11) + " MEMORY";
  tab.empty = "No ghosts. Nice and tidy.";
  for (const auto& ghost : sources.survey.ghosts) tab.rows.push_back(ghostRow(ghost, sources));
  return tab;
}

// --- Servers ---------------------------------------------------------------

UiRow serverRow(const DevServer& server, const UiSources& sources) {
  UiRow row;
  row.key = "server:" + server.id;
  const auto* record = server.identity ? sources.survey.snapshot.record(server.pid) : nullptr;
  const auto command = record ? printable(displayCommand(*record)) : printable(server.name);
  row.text = padCut(portColumn(server.ports, 13), 13) + " " + padCut(pidText(server.pid), 7) + " " +
             padCut(projectText(server, sources.home), 22) + " " +
             padCut(printable(server.displayName()), 10) + " " +
             padCut(decimalBytes(server.footprint), 7);
  if (!server.ownedByCurrentUser)
    row.text += bracketTag("other user");
  else if (server.protection)
    row.text += bracketTag("protected");
  else if (server.isGhost)
    row.text += bracketTag("ghost");

  row.details.push_back("Dev server: " + printable(server.displayName()) + " on " +
                        portList(server.ports));
  if (record != nullptr) {
    addProcessFacts(row.details, *record, server.ports, server.footprint, sources);
    row.details.push_back("Started by (now): " + parentsNow(sources.survey.snapshot, *record));
  } else {
    row.details.push_back("Command: " + command);
  }
  if (const auto* repo = server.repoInfo()) {
    auto text = printable(tildePath(repo->mainRepoPath, sources.home));
    if (repo->worktreeName) text += ", worktree " + printable(*repo->worktreeName);
    if (auto head = repo->headText()) text += " (" + printable(*head) + ")";
    row.details.push_back("Repository: " + text);
  }

  if (!server.ownedByCurrentUser) {
    row.cannotStop = "It's another user's process, so glimmet never stops it.";
    row.details.push_back("Not safe to stop: it belongs to another user.");
  } else if (server.protection) {
    row.cannotStop = cannotStopBecause(*server.protection);
    row.details.push_back("Not safe to stop from here: " + server.protection->label() + ".");
  } else if (record == nullptr || !server.identity) {
    row.cannotStop = "It has just ended.";
  } else {
    const auto descendants = sources.survey.snapshot.descendants(server.pid).size();
    row.stop = stopTarget(*record, server.ports, descendants);
    if (const auto* repo = server.repoInfo()) {
      row.stop->repoPath = repo->mainRepoPath;
      row.stop->worktree = repo->worktreeName;
      row.stop->branch = repo->headText();
    }
    row.details.push_back(stopLine(descendants));
  }
  return row;
}

UiTabRows serverRows(const UiSources& sources) {
  UiTabRows tab;
  tab.columns = padCut("PORTS", 13) + " " + padCut("PID", 7) + " " +
                padCut("PROJECT (BRANCH)", 22) + " " + padCut("SERVER", 10) + " MEMORY";
  tab.empty = "No dev servers.";
  for (const auto& server : sources.survey.servers) tab.rows.push_back(serverRow(server, sources));
  return tab;
}

// --- Disk ------------------------------------------------------------------

std::string cleaningWords(const DiskItem& item) {
  switch (item.clean.kind) {
    case CleanAction::Kind::trash:
      return "moves it to the Trash";
    case CleanAction::Kind::toolCommand:
      return item.clean.argv && !item.clean.argv->empty()
                 ? "runs " + printable(item.clean.argv->front()) + "'s own clean command"
                 : "runs its tool's own clean command";
    case CleanAction::Kind::gitWorktreeRemove:
      return "git removes the worktree";
    case CleanAction::Kind::gitWorktreePrune:
      return "git prunes the worktree's records";
    case CleanAction::Kind::copyOnly:
      return "nothing here: it's a command for you to run yourself";
    case CleanAction::Kind::none:
      return "nothing: glimmet only reports it";
  }
  return {};
}

UiRow diskRow(const DiskItem& item, const UiSources& sources) {
  UiRow row;
  const auto& id = item.id;  // as disk scan --json shows it and disk clean takes it
  row.key = "disk:" + id;
  const bool markable = item.safety != DiskSafety::reportOnly &&
                        item.clean.kind != CleanAction::Kind::none &&
                        item.clean.kind != CleanAction::Kind::copyOnly;
  row.text = padCut(fileStyleBytes(item.uniqueBytes), 10) + " " + printable(item.label);
  // A Docker figure's "path" is only its kind ("images"): the label says it all.
  if (item.isAbsolute()) row.text += ": " + printable(tildePath(item.path, sources.home));
  if (item.blocked) row.text += bracketTag(printable(*item.blocked));
  if (markable)
    row.itemID = id;
  else
    row.cannotMark = "Glimmet only reports this one; it doesn't clean it.";

  row.details.push_back(printable(item.label) + " (" + std::string(safetyHeading(item.safety)) +
                        ")");
  row.details.push_back("ID: " + printable(id));
  row.details.push_back("Path: " + printable(tildePath(item.path, sources.home)));
  row.details.push_back("Size: " + fileStyleBytes(item.bytes) + ", " +
                        fileStyleBytes(item.uniqueBytes) + " of it its own, " +
                        countedNoun(item.fileCount, "file"));
  if (item.modified) row.details.push_back("Last changed: " + formatIso8601(*item.modified));
  if (item.projectPath)
    row.details.push_back("Project: " + printable(tildePath(*item.projectPath, sources.home)));
  if (!item.ifRemoved.empty()) row.details.push_back("If removed: " + printable(item.ifRemoved));
  for (const auto& reason : item.reasons) row.details.push_back("· " + printable(reason));
  if (item.blocked) row.details.push_back("Blocked: " + printable(*item.blocked));
  row.details.push_back("Cleaning " + cleaningWords(item) + ".");
  row.details.push_back(
      "Before anything moves, glimmet checks it again against the disk and what runs now.");
  return row;
}

int safetyRank(DiskSafety safety) {
  return safety == DiskSafety::safe ? 0 : safety == DiskSafety::review ? 1 : 2;
}

UiTabRows diskRows(const UiSources& sources) {
  UiTabRows tab;
  tab.columns = "    " + padCut("SIZE", 10) + " ITEM";
  tab.empty = "No disk scan yet. Press r to scan your home folder.";
  if (sources.scan == nullptr) return tab;
  const auto& scan = *sources.scan;
  tab.empty = "The last scan found nothing to clean. Press r to scan again.";
  tab.note = "Scanned " + formatIso8601(scan.finishedAt) +
             (scan.freeBytes ? ", " + fileStyleBytes(*scan.freeBytes) + " free" : "") +
             (scan.complete ? "" : " (partial)") + ". r scans again.";
  std::vector<const DiskItem*> items;
  for (const auto& item : scan.items) items.push_back(&item);
  std::stable_sort(items.begin(), items.end(), [](const DiskItem* a, const DiskItem* b) {
    if (safetyRank(a->safety) != safetyRank(b->safety))
      return safetyRank(a->safety) < safetyRank(b->safety);
    return a->uniqueBytes > b->uniqueBytes;
  });
  for (const auto* item : items) tab.rows.push_back(diskRow(*item, sources));
  return tab;
}

}  // namespace

std::string_view tabTitle(UiTab tab) {
  switch (tab) {
    case UiTab::sessions:
      return "Sessions";
    case UiTab::ghosts:
      return "Ghosts";
    case UiTab::servers:
      return "Servers";
    case UiTab::disk:
      return "Disk";
  }
  return {};
}

UiData buildUiData(const UiSources& sources) {
  UiData data;
  data.of(UiTab::sessions) = sessionRows(sources);
  data.of(UiTab::ghosts) = ghostRows(sources);
  data.of(UiTab::servers) = serverRows(sources);
  data.of(UiTab::disk) = diskRows(sources);
  return data;
}

}  // namespace glimmet
