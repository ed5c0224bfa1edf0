#pragma once
#include <vector>

#include "app/program.h"
#include "ignore/ignore_lists.h"
#include "ui/form.h"

// "Ignore list": the file and registry ignore lists, loaded at creation and
// on every showing, saved on closing.
class TFormIG : public ui::Form {
 public:
  explicit TFormIG(app::Program& program);
  app::Program& program;

  ui::ListBox* List1;  // file rows
  ui::ListBox* List2;  // registry rows

  std::vector<ignore::TFileIgnoreList> fileList;
  std::vector<ignore::TRegIgnoreList> regList;

  void LoadLists();
  // Writes only the lists whose files were read whole: a list that failed to
  // load would overwrite the user's file with less than it holds.
  void SaveLists();
  void RebuildRows();

  void DeleteFiles1Click();
  void ClearFiles1Click();
  void AddFolder1Click();
  void DeleteRegistry1Click();
  void ClearRegistry1Click();
  void List2Click();

  // Appends the folder (with the ";" the list stores) and shows it.
  void AddFolder(const std::string& folder);

  // A list file that was not read whole is never saved unasked: says so and
  // offers to keep the damaged file as "NAME.damaged" and save the list as
  // it could be read. Run when the window opens and when an entry is added.
  void OfferRepair(bool fileList);

 private:
  std::string Path(const char* name) const;
  bool fileListLoaded_ = false;
  bool regListLoaded_ = false;
};
