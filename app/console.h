#pragma once
// The console twin "klaruvexc.exe": the unattended command line only, for
// scripts. Without arguments it prints its usage and exits 2; otherwise it
// runs exactly what "klaruvex.exe" runs unattended and prints, from the same
// report data the JSON report holds, one line per finding with what was
// done and a last line with the counts to standard output, and the reason
// of a failure to standard error.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/machine.h"

namespace app {

// Writes one line (system code page, no line end).
using LineWriter = std::function<void(std::string_view)>;

// updatePublicKey: the key the update list must be signed with, as for the
// windowed program; /update brings the database alone up to date.
int RunConsole(platform::Machine& machine, const std::vector<std::string>& args,
               const LineWriter& out, const LineWriter& err,
               const std::string& updatePublicKey = {});

// What the console prints for a finished run, from its report (UTF-8 JSON);
// the lines are in the system code page.
struct ConsoleText {
  std::vector<std::string> out;
  std::vector<std::string> err;
};
ConsoleText ConsoleLines(const nlohmann::json& report);

// The usage text, one line each.
const std::vector<std::string>& ConsoleUsage();

}  // namespace app
