#include <gtest/gtest.h>

#include "platform/sim/sim_clock.h"
#include "tests/unit/program_fixture.h"

namespace {

const std::string kQ = std::string(kFolder) + "Quarantine\\";
const std::string kIndex = std::string(kFolder) + "Quarantine.info";

class QuarantineWindowTest : public ProgramFixture {
 protected:
  QuarantineWindowTest() {
    platform::sim::SetLocalTime(platform::LocalTime{2026, 12, 7, 13, 5, 12});
    p = StartProgram();
    f = p->form9;
  }
  ~QuarantineWindowTest() override { platform::sim::SetLocalTime(std::nullopt); }

  // Rows as "caption|task|added", with a leading "[x]" for checked ones.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (const auto& r : f->List1->Items()) {
      std::string row = (r.checked ? "[x]" : "[ ]") + r.caption;
      for (const auto& s : r.subItems) row += "|" + s;
      rows.push_back(row);
    }
    return rows;
  }
  void AddByHand(const std::string& path, const char* box) {
    host.AnswerOpen(path);
    host.Answer(ui::kIdOk, box, "Klaruvex Pro v4 - SE");
    f->xpButton3->Click();
  }
  std::string Read(const std::string& path) {
    std::string bytes;
    platform::ReadWholeFile(machine.Files(), path, bytes);
    return bytes;
  }
  std::vector<std::string> StatusTexts() {
    std::vector<std::string> texts;
    for (const auto& s : host.StatusLog())
      if (s.form == "TForm9") texts.push_back(s.text);
    return texts;
  }

  std::unique_ptr<app::Program> p;
  TForm9* f = nullptr;
};

TEST_F(QuarantineWindowTest, LayoutAndAnEmptyList) {
  p->form1->Find("xpButton6")->Click();
  EXPECT_EQ(f->Caption(), "Quarantine Manager");
  std::vector<std::string> columns;
  for (const auto& c : f->List1->Columns()) columns.push_back(c.caption);
  EXPECT_EQ(columns, (std::vector<std::string>{"Filename", "Task", "Added"}));
  EXPECT_TRUE(f->List1->checkBoxes);
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(f->Bar1->Panels().size(), 1u);
}

TEST_F(QuarantineWindowTest, AddTaskByHand) {
  WriteFile("C:\\Samples\\Bad.exe", "MZ bad program");
  f->Show();
  AddByHand("C:\\Samples\\Bad.exe", "File added to Quarantine, you can safely delete it!");
  EXPECT_EQ(host.OpenDialogs(), std::vector<std::string>{"Add task into Quaranteen"});
  EXPECT_EQ(Rows(), std::vector<std::string>{
                        "[x]C:\\Samples\\Bad.exe|Unknown|07.12.2026, 13:05:12"});
  EXPECT_EQ(Read(kIndex),
            "C:\\Samples\\Bad.exe\r\n" + kQ + "Bad.exe\r\nUnknown\r\n07.12.2026, 13:05:12\r\n\r\n");
  // The same file in other letters is there already.
  AddByHand("c:\\samples\\BAD.EXE", "File already exists in Quarantine!");
  // One that cannot be read is not added.
  WriteFile("C:\\Samples\\held.exe", "held open");
  machine.SimFiles().Lock("C:\\Samples\\held.exe");
  AddByHand("C:\\Samples\\held.exe", "Cannot add file to Quarantine!");
  // Cancelled, or a name that does not exist: nothing happens.
  host.AnswerOpen(std::nullopt);
  f->xpButton3->Click();
  host.AnswerOpen("C:\\Samples\\gone.exe");
  f->xpButton3->Click();
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

// Each checked row restores its own file, also after a row that failed;
// unchecked rows are left alone and the rows are not read again.
TEST_F(QuarantineWindowTest, RestoreSelectedTasks) {
  const char* files[] = {"C:\\A\\one.exe", "C:\\B\\two.exe", "C:\\C\\three.exe", "C:\\D\\four.exe"};
  for (const char* path : files) {
    WriteFile(path, std::string("bytes of ") + path);
    ASSERT_TRUE(f->store.Add(path, "Worm", "")) << path;
    machine.Files().DeleteFile(path);
  }
  f->Show();
  f->List1->SetChecked(3, false);
  machine.Files().DeleteFile(kQ + "one.exe");  // its stored copy is gone
  host.Answer(ui::kIdNo, "Do you want to restore selected tasks?", "Question");
  f->xpButton2->Click();
  EXPECT_EQ(Rows()[0], "[x]C:\\A\\one.exe|Worm|07.12.2026, 13:05:12");

  host.Answer(ui::kIdYes, "Do you want to restore selected tasks?", "Question");
  host.Answer(ui::kIdOk, "Selected tasks have been restored!", "Information");
  f->xpButton2->Click();
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "[x]Cannot restore file!|Worm|07.12.2026, 13:05:12",
                        "[x]File restored...|Worm|07.12.2026, 13:05:12",
                        "[x]File restored...|Worm|07.12.2026, 13:05:12",
                        "[ ]C:\\D\\four.exe|Worm|07.12.2026, 13:05:12"}));
  EXPECT_EQ(StatusTexts(), (std::vector<std::string>{"Restoring C:\\A\\one.exe",
                                                     "Restoring C:\\B\\two.exe",
                                                     "Restoring C:\\C\\three.exe"}));
  EXPECT_EQ(Read("C:\\B\\two.exe"), "bytes of C:\\B\\two.exe");
  EXPECT_EQ(Read("C:\\C\\three.exe"), "bytes of C:\\C\\three.exe");
  EXPECT_FALSE(platform::FileExists(machine.Files(), "C:\\D\\four.exe"));
  const auto& box = host.Boxes().back().spec;
  EXPECT_EQ(box.icon, ui::Icon::Information);
  EXPECT_TRUE(box.topmost && box.foreground);

  f->xpButton6->Click();  // Refresh
  EXPECT_EQ(Rows(), (std::vector<std::string>{"[x]C:\\A\\one.exe|Worm|07.12.2026, 13:05:12",
                                              "[x]C:\\D\\four.exe|Worm|07.12.2026, 13:05:12"}));
}

TEST_F(QuarantineWindowTest, RemoveTaskAndRefresh) {
  for (const char* path : {"C:\\A\\one.exe", "C:\\A\\two.exe", "C:\\A\\three.exe"}) {
    WriteFile(path, "x");
    ASSERT_TRUE(f->store.Add(path, "Worm", ""));
  }
  machine.SimProcs().Start(kQ + "three.exe");  // its copy cannot be deleted
  f->Show();
  f->List1->SetChecked(1, false);
  host.Answer(ui::kIdYes, "Do you want to delete selected tasks?", "Question");
  host.Answer(ui::kIdOk, "Selected tasks have been removed!", "Information");
  f->xpButton4->Click();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"[x]Task removed!|Worm|07.12.2026, 13:05:12",
                                              "[ ]C:\\A\\two.exe|Worm|07.12.2026, 13:05:12",
                                              "[x]Cannot remove task!|Worm|07.12.2026, 13:05:12"}));
  EXPECT_EQ(StatusTexts(),
            (std::vector<std::string>{"Deleting C:\\A\\one.exe", "Deleting C:\\A\\three.exe"}));
  f->xpButton6->Click();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"[x]C:\\A\\two.exe|Worm|07.12.2026, 13:05:12",
                                              "[x]C:\\A\\three.exe|Worm|07.12.2026, 13:05:12"}));
  EXPECT_FALSE(platform::FileExists(machine.Files(), kQ + "one.exe"));
}

TEST_F(QuarantineWindowTest, ClearQuarantine) {
  WriteFile("C:\\A\\one.exe", "x");
  ASSERT_TRUE(f->store.Add("C:\\A\\one.exe", "Worm", ""));
  f->Show();
  host.Answer(ui::kIdNo, "Do you want to clear quarantine?", "Question");
  f->xpButton5->Click();
  EXPECT_EQ(Rows().size(), 1u);
  host.Answer(ui::kIdYes, "Do you want to clear quarantine?", "Question");
  host.Answer(ui::kIdOk, "Quarantine cleared!", "Klaruvex Pro v4 - SE");
  f->xpButton5->Click();
  EXPECT_TRUE(Rows().empty());
  EXPECT_FALSE(platform::FileExists(machine.Files(), kIndex));
  EXPECT_FALSE(platform::FileExists(machine.Files(), kQ + "one.exe"));
  f->xpButton1->Click();
  EXPECT_FALSE(f->Visible());
}

// A damaged index shows no rows and is kept as it is.
TEST_F(QuarantineWindowTest, DamagedIndexShowsNothingAndStays) {
  const std::string damaged(quarantine::kMaxIndexLine + 10, '\x01');
  WriteFile(kIndex, damaged);
  f->Show();
  EXPECT_TRUE(Rows().empty());
  host.Answer(ui::kIdYes, "Do you want to delete selected tasks?", "Question");
  host.Answer(ui::kIdOk, "Selected tasks have been removed!", "Information");
  f->xpButton4->Click();
  EXPECT_EQ(Read(kIndex), damaged);
}

// Clearing with a damaged index, or removing when the index cannot be
// written, says so and leaves the index and the stored copies alone.
TEST_F(QuarantineWindowTest, FailedClearOrIndexWriteIsShownAsAnError) {
  const std::string damaged(quarantine::kMaxIndexLine + 10, '\x01');
  WriteFile(kIndex, damaged);
  WriteFile(kQ + "one.exe", "stored copy");
  f->Show();
  host.Answer(ui::kIdYes, "Do you want to clear quarantine?", "Question");
  host.Answer(ui::kIdOk,
              "Cannot clear quarantine: the quarantine index " + kIndex + " cannot be read.",
              "Klaruvex Pro v4 - SE");
  f->xpButton5->Click();
  EXPECT_EQ(host.Boxes().back().spec.icon, ui::Icon::Error);
  EXPECT_EQ(Read(kIndex), damaged);
  EXPECT_EQ(Read(kQ + "one.exe"), "stored copy");

  machine.Files().DeleteFile(kIndex);
  machine.Files().DeleteFile(kQ + "one.exe");
  for (const char* path : {"C:\\A\\one.exe", "C:\\A\\two.exe"}) {
    WriteFile(path, "x");
    ASSERT_TRUE(f->store.Add(path, "Worm", ""));
  }
  const std::string index = Read(kIndex);
  f->Refresh();
  f->List1->SetChecked(1, false);
  machine.SimFiles().FailWrites(kIndex, 4);
  host.Answer(ui::kIdYes, "Do you want to delete selected tasks?", "Question");
  host.Answer(ui::kIdOk,
              "The quarantine list " + kIndex +
                  " could not be saved: the removed tasks will be listed again.",
              "Klaruvex Pro v4 - SE");
  f->xpButton4->Click();
  EXPECT_EQ(Read(kIndex), index);
  EXPECT_EQ(host.PendingAnswers(), 0u);
}

}  // namespace
