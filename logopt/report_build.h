#pragma once
// Building the full report log "Information.txt": the sequence the Log
// optimizer runs and the unattended "/log" runs too.
#include <string>

#include "engine/report_log.h"

namespace app {
class Program;
}

namespace logopt {

// The sections the user chose, kept for the whole run.
struct LogOptions {
  bool infectedFiles = true;    // the quick scan writes its findings
  bool activeProcesses = true;  // the process list writes the running programs
  bool startupFiles = true;     // the start-up values and the detail report's start-up sections
  bool activeServices = true;   // the detail report's services section
};

inline constexpr const char* kReportFileName = "Information.txt";
// "Information.txt" in the program folder.
std::string ReportFilePath(const app::Program& program);

// Creates or empties the file, switches log-building mode on and writes the
// header, the chosen sections, the detail report and "Finished...". Lines are
// written only while the mode stays on (an abort switches it off); the last
// line always is. False when the file could not be created or written: the
// file then keeps what was written before. The mode is off on return.
bool WriteFullReport(app::Program& program, const LogOptions& options, const std::string& path);

// Refreshes the start-up manager's and the service lists, rebuilds the system
// inventory and writes the detail report; does nothing outside log-building
// mode. False at the first failed write.
bool DetailReport(app::Program& program, const LogOptions& options, engine::ReportLog& log);

// "/log [FILE]": the report with every section, no window, not opened.
// Empty on success, otherwise what went wrong.
std::string WriteUnattendedLog(app::Program& program, const std::string& file);
// The file "/log [FILE]" writes: FILE, or "Information.txt" in the program folder.
std::string UnattendedLogPath(app::Program& program, const std::string& file);

}  // namespace logopt
