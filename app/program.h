#pragma once
#include <memory>
#include <string>

#include "app/messages.h"
#include "platform/machine.h"
#include "ui/application.h"

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm9;
class TfrmMain;
class TForm12;
class TFormIG;
class TFormL;
class TFormR;
class Toptscan;

namespace update {
class Updater;
}
namespace undo {
class Journal;
}

namespace app {

inline constexpr const char* kUpgradeCopyName = "kvxup.exe";
// What an unattended run passes to the programs its upgrade starts: they
// only complete the hand-over and end, with no window, update or scan.
inline constexpr const char* kHandOverSwitch = "/handover";
inline constexpr const char* kAppTitle = "Klaruvex Pro v4 - SE";

// The long jobs of which one runs at a time across all windows: each reads
// or replaces what the others work on (the findings, their list, the
// database, the backups and the places they came from), and each lets
// window messages run while it works.
enum class Job { None, Scan, Fix, Quarantine, Log, Update, Undo, DeleteBackup };

// One run of the program: the machine it runs on, its windows and the state
// they share.
class Program {
 public:
  Program(platform::Machine& machine, ui::Host& host);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  enum class Role { Normal, UpgradeCopy };

  // Everything before the message loop: the message table, the role, the
  // windows. Returns false when the program ended during start-up (see
  // app.ExitCode()).
  bool Start();
  // Start() and then the message loop; the exit code.
  int Main();
  // The start of a run the hand-over began: the message table and the role;
  // in the normal role (the new program in place) the copy is deleted.
  // Nothing else: no window, no update, no scan.
  Role StartHandOver();

  Role GetRole() const { return role_; }

  // A message box as the program shows them: topmost, brought to the front.
  int Box(const std::string& text, const std::string& caption, ui::Buttons buttons,
          ui::Icon icon);

  // Starts `job` unless another one runs; then, with `tell`, the user is told
  // to wait and the answer is false.
  bool BeginJob(Job job, bool tell = true);
  // Ends `job` when it is the one running.
  void EndJob(Job job);
  Job RunningJob() const { return job_; }
  // True, after telling the user to wait, while a job runs: the commands
  // that would start another one ask this before their question.
  bool Busy();

  platform::Machine& machine;
  ui::Application app;
  MessageTable msg;
  std::string programFolder;  // the running program's folder, with its trailing backslash
  // Where the quarantine and the backups live, with its trailing backslash:
  // the program folder unless the machine names another (the rescue keeps
  // them on the volume it cleans).
  std::string dataFolder;

  TForm1* form1 = nullptr;
  TForm2* form2 = nullptr;
  TForm3* form3 = nullptr;
  TForm4* form4 = nullptr;
  TForm9* form9 = nullptr;
  TfrmMain* frmMain = nullptr;
  TForm12* form12 = nullptr;
  TFormIG* formIG = nullptr;
  TFormL* formL = nullptr;
  TFormR* formR = nullptr;
  Toptscan* optscan = nullptr;

  // The update check, database update and log upload state of the main window.
  std::unique_ptr<update::Updater> updater;
  // The key the update list must be signed with (64 hexadecimal digits): the
  // build's, handed in by the program's entry; empty for the plain channel.
  std::string updatePublicKey;
  // The backups of everything the program removes or changes for the user.
  std::unique_ptr<undo::Journal> journal;

 private:
  void CreateForms();
  void TellBusy();
  Role StartRole();
  Role role_ = Role::Normal;
  Job job_ = Job::None;
};

// A job for the length of a block.
class JobScope {
 public:
  JobScope(Program& program, Job job, bool tell = true)
      : program_(program), job_(job), started_(program.BeginJob(job, tell)) {}
  ~JobScope() {
    if (started_) program_.EndJob(job_);
  }
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;
  explicit operator bool() const { return started_; }

 private:
  Program& program_;
  Job job_;
  bool started_;
};

}  // namespace app
