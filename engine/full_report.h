#pragma once
// The full report log "Information.txt": the file it is written to and the
// detail report, its last section, from the lists it reads.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report_log.h"
#include "platform/files.h"

namespace engine {

// The report file, one line after another with CR LF. After the first failed
// write nothing more reaches the file, so it keeps what was written before.
class ReportFile final : public ReportLog {
 public:
  // Creates the file or empties an existing one; false when it cannot.
  bool Create(platform::FileSystem& fs, std::string_view path);
  bool WriteLine(std::string_view line) override;
  // Hands the last bytes to the system and closes; false when this or any
  // write before it failed.
  bool Close();
  bool Failed() const { return failed_; }

 private:
  std::unique_ptr<platform::File> file_;
  bool failed_ = false;
};

// One row of a list as the report reads it: its caption and sub-items (a
// placeholder row has none).
struct ReportRow {
  std::string caption;
  std::vector<std::string> subItems;
};

// What the detail report writes: the system inventory and the rows of the
// start-up manager's lists and of the main window's service list.
struct DetailReportLists {
  std::vector<std::string> inventory;
  std::vector<ReportRow> startupFolder;    // caption, "Command"
  std::vector<ReportRow> winIni;           // caption
  std::vector<ReportRow> systemIni;        // caption
  std::vector<ReportRow> keyboardDrivers;  // caption, "Path"
  std::vector<ReportRow> services;         // caption, "Path", "Status"
};

struct DetailReportOptions {
  bool startupFiles = true;    // the Startup folder, Win.ini and System.ini sections
  bool activeServices = true;  // the services section
};

// Writes the detail report; false at the first failed write. `text` gives
// message table entries; `isValidFile` tells whether a keyboard driver's file
// is there.
bool WriteDetailReport(ReportLog& log, const DetailReportLists& lists,
                       const DetailReportOptions& options,
                       const std::function<std::string(int)>& text,
                       const std::function<bool(const std::string&)>& isValidFile);

}  // namespace engine
