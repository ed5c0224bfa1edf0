#pragma once
// Fix and Add to Quarantine as the main window runs them over the findings
// register, and the log upload offered after a fix or a clean scan.
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "engine/findings.h"
#include "ui/component.h"

namespace undo {
class Backup;
}

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
  bool notBackedUp = false;  // left in place: it could not be backed up
  // The quarantine already held another file from this path (the MD5 text
  // of that one): the finding is kept by the fix's backup instead.
  std::optional<std::string> olderInQuarantine;
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
  // The backup Fix keeps everything in before it removes it; Fix begins one
  // of its own when none is given.
  undo::Backup* backup = nullptr;
};

// Removes the selected findings: ends their programs, deletes the files
// (retrying for up to four seconds of the clean timer), removes their
// start-up values, then removes the infected folders inner first.
void RunFix(Program& program, const FixOptions& options = {});

// Stores the selected files in the quarantine. With boxes it then hands
// over to the Fix button (whose question comes up at once).
void RunAddToQuarantine(Program& program, const FixOptions& options = {});

// What the unattended fix did as a whole.
struct FixSummary {
  bool fixed = true;        // every finding is gone
  std::string backup;       // the backup's name; empty when nothing was kept
  std::size_t notBackedUp = 0;  // findings left in place: they could not be backed up
};

// The unattended /fix and /quarantine after the scan: every finding removed,
// with quarantineFirst each file stored first (and left in place when it
// could not be stored). Adds "action" and "error" (and "note" where there is
// one) to each finding of the report, in register order. Everything removed
// goes into `backup` when given (left open), else into a backup of its own.
FixSummary FixEveryFinding(Program& program, bool quarantineFirst, nlohmann::json& findings,
                           undo::Backup* backup = nullptr);

// Hooks Fix, Add to Quarantine and the log upload into the main window.
void ConnectFix(Program& program);

}  // namespace app
