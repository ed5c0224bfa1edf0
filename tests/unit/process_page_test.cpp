// The process page: the running programs as rows, End Task and the deletion.
#include <gtest/gtest.h>

#include "tests/unit/program_fixture.h"

namespace {

class ProcessPageTest : public ProgramFixture {
 protected:
  static std::vector<std::string> Rows(const ui::ListView& list) {
    std::vector<std::string> rows;
    for (auto& r : list.Items()) rows.push_back(r.caption);
    return rows;
  }
  std::uint32_t Run(const std::string& path) {
    if (!platform::FileExists(machine.Files(), path)) WriteFile(path, "MZ a running program");
    return machine.SimProcs().Start(path);
  }
};

TEST_F(ProcessPageTest, RowsPerInstanceAfterTheValidFileFilter) {
  auto p = StartProgram();
  auto& f = *p->form1;
  machine.SimProcs().AddSystemProcesses();
  for (int i = 0; i < 3; ++i) Run("C:\\Tools\\worker.exe");
  Run("C:\\Apps\\editor.exe");
  machine.SimProcs().Start("C:\\Gone\\vanished.exe");

  f.Find("Button8")->Click();
  EXPECT_EQ(f.Note1->ActivePage(), 2);
  EXPECT_EQ(Rows(*f.List2),
            (std::vector<std::string>{"C:\\Tools\\worker.exe", "C:\\Tools\\worker.exe",
                                      "C:\\Tools\\worker.exe", "C:\\Apps\\editor.exe"}));
  EXPECT_EQ(f.List2->Items()[0].subItems, std::vector<std::string>{""});
  EXPECT_EQ(f.Find("Label3")->Caption(), "Active processes (4).");
}

TEST_F(ProcessPageTest, EndTaskEndsEveryProgramOfThatFileName) {
  auto p = StartProgram();
  auto& f = *p->form1;
  for (int i = 0; i < 3; ++i) Run("C:\\Tools\\worker.exe");
  Run("C:\\Other\\WORKER.EXE");
  Run("C:\\Apps\\editor.exe");
  f.Find("Button8")->Click();
  ASSERT_EQ(f.List2->Items().size(), 5u);

  // Nothing ticked: the question, then only a refresh.
  host.Answer(ui::kIdYes, "Do you want to terminate selected processes?", "Question");
  f.Find("Button11")->Click();
  EXPECT_EQ(f.List2->Items().size(), 5u);

  f.List2->SetChecked(1, true);
  host.Answer(ui::kIdNo, "Do you want to terminate selected processes?", "Question");
  f.Find("Button11")->Click();
  EXPECT_EQ(f.List2->Items().size(), 5u);

  host.Answer(ui::kIdYes, "Do you want to terminate selected processes?", "Question");
  f.Find("Button11")->Click();
  EXPECT_EQ(Rows(*f.List2), std::vector<std::string>{"C:\\Apps\\editor.exe"});
  EXPECT_EQ(f.Find("Label3")->Caption(), "Active processes (1).");
  EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\Tools\\worker.exe"));  // cbx1 off
}

TEST_F(ProcessPageTest, DeletionFailureNamesThePathAndGoesOn) {
  auto p = StartProgram();
  auto& f = *p->form1;
  Run("C:\\Apps\\held.exe");
  Run("C:\\Apps\\free.exe");
  machine.SimFiles().Lock("C:\\Apps\\held.exe");
  f.Find("Button8")->Click();
  f.cbx1->SetChecked(true);
  f.List2->SetChecked(0, true);
  f.List2->SetChecked(1, true);
  host.Answer(ui::kIdYes, "Do you want to terminate selected processes?", "Question");
  // Another program holds the file: it cannot be read into the backup.
  host.Answer(ui::kIdOk,
              "Cannot delete process C:\\Apps\\held.exe\rIt could not be backed up: it cannot be "
              "copied into the backup: it is in use by another program.",
              "Error");
  f.Find("Button11")->Click();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  EXPECT_TRUE(platform::FileExists(machine.Files(), "C:\\Apps\\held.exe"));
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\Apps\\free.exe"));
  EXPECT_TRUE(f.List2->Items().empty());
}

TEST_F(ProcessPageTest, LogBuildingModeWritesTheSection) {
  struct Lines : engine::ReportLog {
    std::vector<std::string> lines;
    std::size_t failAt = SIZE_MAX;
    bool WriteLine(std::string_view l) override {
      if (lines.size() == failAt) return false;
      lines.emplace_back(l);
      return true;
    }
  } log;
  auto p = StartProgram();
  auto& f = *p->form1;
  Run("C:\\Apps\\a.exe");
  Run("C:\\Apps\\b.exe");
  f.reportLog = &log;
  EXPECT_TRUE(f.Button12Click());
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Running processes: (2)", "C:\\Apps\\a.exe",
                                                 "C:\\Apps\\b.exe", ""}));
  EXPECT_EQ(host.StatusLog().back().text, "C:\\Apps\\b.exe");

  log.lines.clear();
  log.failAt = 1;
  EXPECT_FALSE(f.Button12Click());
  EXPECT_EQ(log.lines, std::vector<std::string>{"Running processes: (2)"});
  f.reportLog = nullptr;
}

}  // namespace
