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

// Runs on a started program (its windows created, none shown). server:
// "host" or "host:port" for every request; empty for the usual server.
int RunUnattendedUpdate(app::Program& program, const std::string& server = {});

}  // namespace update
