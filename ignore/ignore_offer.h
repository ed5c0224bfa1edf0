#pragma once
// Where the main window offers the ignore list: a button on the findings
// page and on the About page, and a finding's pop-up menu with "Ignore this
// folder".
#include <string>

class TFormIG;
class TForm1;

namespace ignore {

// Adds the controls to the main window after all of its own (they take no
// language lines) and wires them to the ignore list window.
void OfferIgnoreList(TFormIG& window, TForm1& main);

// The folder of the finding shown on row `row` of the findings list: the
// folder itself for a folder finding, the file's folder otherwise. Empty when
// the row stands for no finding.
std::string FindingFolder(TForm1& main, int row);

// Adds the folder of the selected finding to the file ignore list, saves the
// list and unchecks the row so Fix leaves it alone. False when no finding is
// selected.
bool IgnoreSelectedFinding(TFormIG& window, TForm1& main);

}  // namespace ignore
