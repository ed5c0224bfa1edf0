#pragma once
// The Report Manager's rows for the unattended JSON report.
#include <nlohmann/json.hpp>

namespace app {
class Program;
}

namespace process {

// Rebuilds the Report Manager's list from the live system and puts its rows
// into the report as "reportManager": [{kind, path, size, key}], texts in
// UTF-8, the size in bytes (0 when the file cannot be read).
void AddReportManagerRows(app::Program& program, nlohmann::json& report);

}  // namespace process
