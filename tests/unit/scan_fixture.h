#pragma once
// The program on the simulated machine with a database of the test's own
// rules, and the quick scan as the user runs it.
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/unit/program_fixture.h"

class ScanFixture : public ProgramFixture {
 protected:
  // files.dat holding the date line, the rule lines and "_end".
  void Database(std::initializer_list<std::string> rules) {
    std::string text = "Database date: 2026-12-01 (r0001)\r\n";
    for (const auto& r : rules) text += r + "\r\n";
    text += "_end\r\n";
    WriteFile(std::string(kFolder) + "files.dat", engine::PackDatabase(text, update::LanguageKey()));
  }

  app::Program& Start() {
    program = StartProgram();
    program->form1->scan.timeText = [] { return std::string("10:00:00"); };
    return *program;
  }

  // The question before the scan, answered Yes; the boxes at the end are
  // scripted after it.
  void AnswerScanQuestion() {
    host.Answer(ui::kIdYes, program->msg[59] + "\r\r" + program->msg[134] + "\r" + program->msg[135],
                "Question");
  }
  void ClickScan() { program->form1->Find("Button4")->Click(); }

  // The boxes at the end of a scan that found `count`, declining the full scan.
  void AnswerDecliningFullScan(int count) {
    host.Answer(ui::kIdNo,
                "You have " + std::to_string(count) +
                    " dangerous viruses & worms in your computer by quick report.\r" +
                    program->msg[128],
                "Alert");
    host.Answer(ui::kIdOk, "Click on \"Fix\" button to fix selected tasks by quick report!",
                "Information");
  }
  // A scan that finds something, declining the full scan.
  void ScanDecliningFullScan(int count) {
    AnswerScanQuestion();
    AnswerDecliningFullScan(count);
    ClickScan();
  }

  // A quick scan whose full scan is accepted and run to its end, which
  // finds `count` in all.
  void ScanWithFullScan(int count) {
    AnswerScanQuestion();
    host.Answer(ui::kIdYes);  // on to the full scan
    ClickScan();
    program->form3->Find("xpButton1")->Click();
    host.Answer(ui::kIdOk,
                "You have " + std::to_string(count) +
                    " dangerous files in your computer, click \"Fix\" button to fix this tasks!",
                "Alert");
    host.Advance(1000);
  }

  std::vector<std::string> Lines() const { return program->form1->List1->Items(); }
  std::vector<std::string> Log() const { return program->form1->Memo2->Lines(); }
  std::vector<std::string> Paths() const {
    std::vector<std::string> out;
    for (const auto& r : program->form1->scan.findings.Records()) out.push_back(r.Path);
    return out;
  }
  std::string Status() const { return program->form1->sb1->PanelText(0); }
  bool Enabled(const char* name) const { return program->form1->Find(name)->Enabled(); }

  std::unique_ptr<app::Program> program;
};
