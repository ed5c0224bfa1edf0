#pragma once
// The update without a window: the list check and whatever it offers,
// every question answered yes, no box shown.
#include <optional>
#include <string>

namespace app {
class Program;
}

namespace update {

inline constexpr int kUpdateDone = 0;    // up to date, updated, or upgrade handed over
inline constexpr int kUpdateFailed = 2;  // no list or a failed download; the old database kept
// A new program is downloaded and checked; HandOverUnattended starts it.
inline constexpr int kUpgradeReady = 3;

// Runs on a started program (its windows created, none shown). server:
// "host" or "host:port" for every request; empty for the usual server.
// handOverLater: a new program is not started at once (kUpgradeReady), so
// the run can do its scan first. The reason of a failure is in the
// updater's `failure`.
int RunUnattendedUpdate(app::Program& program, const std::string& server = {},
                        bool handOverLater = false);

// Starts the program a kUpgradeReady update downloaded, telling it the run
// is unattended, and ends this run; false (the copy deleted, the reason in
// the updater's `failure`) when it does not start.
bool HandOverUnattended(app::Program& program);

}  // namespace update
