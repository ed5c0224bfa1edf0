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

 private:
  std::string Path(const char* name) const;
  bool fileListLoaded_ = false;
  bool regListLoaded_ = false;
};
