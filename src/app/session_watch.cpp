#include "app/session_watch.h"

#include "core/ghosts/match_cache.h"

namespace glimmet {

bool sessionHasEnded(const ProcessIdentity& session, const ProcessSnapshot& snapshot) {
  const ProcessRecord* root = snapshot.record(session.pid);
  return root == nullptr || root->identity != session || root->status == ProcessStatus::zombie;
}

void watchSessionEnd(const ProcessIdentity& session,
                     const std::function<ProcessSnapshot()>& takeSnapshot,
                     const SignatureEngine& signatures, AncestryRecorder& recorder,
                     KillClock& clock) {
  const double began = clock.now();
  while (true) {
    const ProcessSnapshot snapshot = takeSnapshot();
    // A cache per pass: only processes new since the last pass are matched, and
    // a cache kept for a day would hold every process the machine ever ran.
    MatchCache cache(signatures);
    recorder.observe(snapshot, snapshot.takenAt(), cache);
    recorder.prune(snapshot);
    if (sessionHasEnded(session, snapshot)) return;
    if (clock.now() - began >= SessionWatch::kLongestWaitSeconds) return;
    clock.sleep(SessionWatch::kPollSeconds);
  }
}

}  // namespace glimmet
