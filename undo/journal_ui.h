#pragma once
// What the windows show of the undo journal: the message about items a
// command left in place because they could not be backed up.
#include <string>

namespace app {
class Program;
}

namespace undo {

class Backup;

// The items the backup could not keep, as the user reads them; empty when
// there are none.
std::string NotBackedUpText(const Backup& backup);
// Tells the user, in one box, which items were left in place because they
// could not be backed up; nothing when every item was kept.
void TellNotBackedUp(app::Program& program, const Backup& backup);

}  // namespace undo
