#pragma once
// Fix and Add to Quarantine as the main window runs them over the findings
// register, and the log upload offered after a fix or a clean scan.
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "engine/findings.h"
#include "ui/component.h"

namespace app {

class Program;

// Files of the full scan or inside an infected folder, records without a
// line and records whose line is checked.
bool IsSelected(const engine::TFileList& record, const ui::ListBox& list);
// A record whose outcome is shown on its own line of the findings list.
bool HasOwnLine(const engine::TFileList& record);
// A finding of a pattern rule: its process is ended, the file is left alone.
bool IsLockedFinding(const engine::TFileList& record);

// What happened to one finding, for the unattended report.
struct FindingOutcome {
  bool attempted = false;  // selected and reached before an abort
  bool quarantined = false;
  bool removed = false;
  std::string error;  // empty when all went well
};

struct FixOptions {
  bool boxes = true;  // false: unattended, no box and no log upload offer
  // Register indexes Fix leaves on disk (a copy the user asked for failed).
  std::set<std::size_t> keep;
  // Runs between deletion rounds besides the host's own wait (unattended:
  // a host whose clock is not the wall clock still gives ended programs time
  // to go).
  std::function<void()> pause;
  // One per register record when given.
  std::vector<FindingOutcome>* outcomes = nullptr;
};

// Removes the selected findings: ends their programs, deletes the files
// (retrying for up to four seconds of the clean timer), removes their
// start-up values, then removes the infected folders inner first.
void RunFix(Program& program, const FixOptions& options = {});

// Stores the selected files in the quarantine. With boxes it then hands
// over to the Fix button (whose question comes up at once).
void RunAddToQuarantine(Program& program, const FixOptions& options = {});

// The unattended /fix and /quarantine after the scan: every finding removed,
// with quarantineFirst each file stored first (and left in place when it
// could not be stored). Adds "action" and "error" to each finding of the
// report, in register order; false when something was left behind.
bool FixEveryFinding(Program& program, bool quarantineFirst, nlohmann::json& findings);

// Hooks Fix, Add to Quarantine and the log upload into the main window.
void ConnectFix(Program& program);

}  // namespace app
