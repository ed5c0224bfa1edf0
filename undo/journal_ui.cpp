#include "undo/journal_ui.h"

#include "app/program.h"
#include "undo/undo_journal.h"

namespace undo {
namespace {

// Lines of the box before the rest is only counted.
constexpr std::size_t kShownFailures = 10;

}  // namespace

std::string NotBackedUpText(const Backup& backup) {
  const auto& failures = backup.Failures();
  if (failures.empty()) return {};
  std::string text = "These items were left in place because they could not be backed up:";
  for (std::size_t i = 0; i < failures.size() && i < kShownFailures; ++i) text += "\r" + failures[i];
  if (failures.size() > kShownFailures)
    text += "\r... and " + std::to_string(failures.size() - kShownFailures) + " more.";
  return text;
}

void TellNotBackedUp(app::Program& program, const Backup& backup) {
  const std::string text = NotBackedUpText(backup);
  if (!text.empty()) program.Box(text, program.app.title, ui::Buttons::Ok, ui::Icon::Error);
}

}  // namespace undo
