#include "process/report_json.h"

#include <cstdlib>

#include "app/program.h"
#include "app/unattended.h"
#include "process/report_manager.h"

namespace process {

void AddReportManagerRows(app::Program& p, nlohmann::json& report) {
  auto rows = nlohmann::json::array();
  if (p.formR) {
    p.formR->DisplayFullLogFile();
    for (const auto& row : p.formR->List1->Items()) {
      auto cell = [&](std::size_t i) {
        return app::ReportText(p.machine, i < row.subItems.size() ? row.subItems[i] : std::string());
      };
      const std::uint64_t size = std::strtoull(cell(TFormR::kFileSize).c_str(), nullptr, 10);
      rows.push_back({{"kind", app::ReportText(p.machine, row.caption)},
                      {"path", cell(TFormR::kFileName)},
                      {"size", size},
                      {"key", cell(TFormR::kKey)}});
    }
  }
  report["reportManager"] = std::move(rows);
}

}  // namespace process
