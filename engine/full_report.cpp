#include "engine/full_report.h"

namespace engine {

bool ReportFile::Create(platform::FileSystem& fs, std::string_view path) {
  file_ = fs.Open(path, platform::OpenMode::Write);
  failed_ = !file_;
  return !failed_;
}

bool ReportFile::WriteLine(std::string_view line) {
  if (failed_ || !file_) return false;
  std::string bytes;
  bytes.reserve(line.size() + 2);
  bytes.append(line).append("\r\n");
  failed_ = file_->Write(bytes.data(), bytes.size()) != platform::kOk;
  return !failed_;
}

bool ReportFile::Close() {
  if (file_ && !failed_) failed_ = file_->Flush() != platform::kOk;
  file_.reset();
  return !failed_;
}

namespace {

// A section: an empty line, "Title (count)", then each row's lines.
class Section {
 public:
  Section(ReportLog& log, const std::function<std::string(int)>& text) : log_(log), text_(text) {}

  bool Begin(int entry, std::size_t count) {
    return Line("") && Line(text_(entry) + std::to_string(count) + ")");
  }
  bool Line(const std::string& line) { return log_.WriteLine(line); }
  // entry + the row's sub-item, left out when the row has none.
  bool SubItemLine(int entry, const ReportRow& row, std::size_t sub) {
    return sub >= row.subItems.size() || Line(text_(entry) + row.subItems[sub]);
  }
  std::string Text(int entry) const { return text_(entry); }

 private:
  ReportLog& log_;
  const std::function<std::string(int)>& text_;
};

// Sub-items of the lists, in column order after the caption.
constexpr std::size_t kCommand = 0;      // Startup folder rows
constexpr std::size_t kDriverPath = 0;   // keyboard filter rows
constexpr std::size_t kServicePath = 0;  // service rows
constexpr std::size_t kServiceStatus = 1;

}  // namespace

bool WriteDetailReport(ReportLog& log, const DetailReportLists& lists,
                       const DetailReportOptions& options,
                       const std::function<std::string(int)>& text,
                       const std::function<bool(const std::string&)>& isValidFile) {
  Section s(log, text);
  if (!s.Begin(4, lists.inventory.size())) return false;
  for (const auto& entry : lists.inventory)
    if (!s.Line(entry)) return false;

  if (options.startupFiles) {
    if (!s.Begin(183, lists.startupFolder.size())) return false;
    for (const auto& row : lists.startupFolder)
      if (!s.Line(s.Text(184) + row.caption) || !s.SubItemLine(185, row, kCommand)) return false;
    // The System.ini section's title is entry 188, whatever text it holds.
    for (auto [title, rows] : {std::pair{186, &lists.winIni}, std::pair{188, &lists.systemIni}}) {
      if (!s.Begin(title, rows->size())) return false;
      for (const auto& row : *rows)
        if (!s.Line(s.Text(187) + row.caption)) return false;
    }
  }

  if (!s.Begin(189, lists.keyboardDrivers.size())) return false;
  for (const auto& row : lists.keyboardDrivers) {
    if (!s.Line(s.Text(191) + row.caption)) return false;
    if (kDriverPath >= row.subItems.size()) continue;
    const std::string& path = row.subItems[kDriverPath];
    if (!s.Line(s.Text(187) + path + (isValidFile(path) ? "" : s.Text(192)))) return false;
  }

  if (options.activeServices) {
    if (!s.Begin(193, lists.services.size())) return false;
    for (const auto& row : lists.services) {
      const std::string status =
          kServiceStatus < row.subItems.size() ? row.subItems[kServiceStatus] : "";
      if (!s.Line(s.Text(194) + row.caption + " [" + status + "], ") ||
          !s.SubItemLine(187, row, kServicePath))
        return false;
    }
  }
  return true;
}

}  // namespace engine
