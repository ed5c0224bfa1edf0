#pragma once
// The program self-upgrade: the upgrade window that downloads the new
// program as "kvxup.exe", and the copy role that program runs in.
#include <chrono>

#include "app/program.h"
#include "ui/form.h"
#include "update/http_get.h"

class TForm4 : public ui::Form {
 public:
  explicit TForm4(app::Program& program);
  app::Program& program;
  ui::Component* Label1;
  ui::Component* Label2;
  ui::ProgressBar* pb1;
  update::THTTPGet Get1;

  void xpButton1Click();  // "Cancel"
  // Starts the downloaded copy and ends this run with exit code 1; an
  // unattended run tells the copy so. False, the copy deleted, when it does
  // not start.
  bool StartCopy(bool unattended);

 private:
  void Get1Progress(std::uint64_t total, std::uint64_t readed);
  void Get1DoneFile(const std::string& fileName, std::uint64_t size);
  bool AskAbort();
  void DeleteCopy();
  // The copy is deleted, the window and the outcome say failed.
  void UpgradeFailed(const std::string& text);
  bool cancelled_ = false;
};

namespace update {

// Position of the upgrade window's bar for a transfer of `readed` of
// `total` bytes.
int ProgressPosition(std::uint64_t total, std::uint64_t readed);

struct CopyRetry {
  int attempts = 60;
  std::chrono::milliseconds pause{500};
};

// The copy role of "kvxup.exe": copies its own file over "klaruvex.exe" in
// its folder, trying again while the previous run still holds it, starts it
// (with `params`) and returns the exit code. Gives up after the attempts and
// says so.
int RunUpgradeCopy(app::Program& program, CopyRetry retry = {}, const std::string& params = {});

}  // namespace update
