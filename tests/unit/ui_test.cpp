#include <gtest/gtest.h>

#include <thread>

#include "ui/application.h"
#include "ui/headless_host.h"

using namespace ui;

namespace {

class Sample : public Form {
 public:
  Sample() : Form("TSample") {
    SetCaption("Sample");
    page = &Add<PageBook>(Kind::PageBook, "Book");
    auto& p0 = Add(Kind::Page, "P0", page);
    auto& p1 = Add(Kind::Page, "P1", page);
    go = &Add(Kind::Button, "Go", &p0, "Go");
    back = &Add(Kind::Button, "Back", &p1, "Back");
    status = &Add<StatusBar>(Kind::StatusBar, "sb");
    status->SetPanels({{"", 100}, {"fixed", 100}});
    tick = &Add<Timer>(Kind::Timer, "Tick");
    tick->SetInterval(10);
    tick->SetEnabled(false);
    go->OnClick = [this] { page->SetActivePage(1); };
    back->OnClick = [this] { page->SetActivePage(0); };
    tick->OnTimer = [this] {
      ++ticks;
      if (ticks == 3) tick->SetEnabled(false);
    };
  }
  PageBook* page;
  Component *go, *back;
  StatusBar* status;
  Timer* tick;
  int ticks = 0;
};

class UiTest : public ::testing::Test {
 protected:
  UiTest() : app(host) {
    host.onUnexpected = [](const std::string& what) { ADD_FAILURE() << what; };
  }
  HeadlessHost host;
  Application app;
};

TEST_F(UiTest, ClicksReachOnlyControlsOnTheShownPage) {
  auto& f = app.CreateForm<Sample>();
  EXPECT_EQ(app.MainForm(), &f);
  f.go->Click();  // the form is not shown yet
  EXPECT_EQ(f.page->ActivePage(), 0);
  f.Show();
  f.back->Click();  // page 1 is hidden
  EXPECT_EQ(f.page->ActivePage(), 0);
  f.go->Click();
  EXPECT_EQ(f.page->ActivePage(), 1);
  f.go->Click();  // now hidden
  f.back->Click();
  EXPECT_EQ(f.page->ActivePage(), 0);
  f.go->SetEnabled(false);
  f.go->Click();
  EXPECT_EQ(f.page->ActivePage(), 0);
}

TEST_F(UiTest, TimersRunOnTheTestClock) {
  auto& f = app.CreateForm<Sample>();
  host.Advance(100);
  EXPECT_EQ(f.ticks, 0);
  f.tick->SetEnabled(true);
  host.Advance(9);
  EXPECT_EQ(f.ticks, 0);
  host.Advance(1);
  EXPECT_EQ(f.ticks, 1);
  host.Advance(1000);
  EXPECT_EQ(f.ticks, 3);  // it switched itself off
}

TEST_F(UiTest, BoxesAnsweredFromTheScriptAndRecorded) {
  app.CreateForm<Sample>();
  host.Answer(kIdYes, "Proceed?", "Question");
  host.Answer(kIdOk);
  EXPECT_EQ(app.MessageBox({"Proceed?", "Question", Buttons::YesNo, Icon::Question, true, true}),
            kIdYes);
  EXPECT_EQ(app.MessageBox({"Done", "Information"}), kIdOk);
  ASSERT_EQ(host.Boxes().size(), 2u);
  EXPECT_EQ(host.Boxes()[0].spec.icon, Icon::Question);
  EXPECT_TRUE(host.Boxes()[0].spec.topmost);

  std::vector<std::string> unexpected;
  host.onUnexpected = [&](const std::string& what) { unexpected.push_back(what); };
  host.Answer(kIdYes, "Something else");
  EXPECT_EQ(app.MessageBox({"Proceed?", "Question", Buttons::YesNo}), kIdNo);
  EXPECT_EQ(app.MessageBox({"Unscripted", "Error"}), kIdOk);
  EXPECT_EQ(unexpected.size(), 2u);
}

TEST_F(UiTest, StatusTextsRecordedInOrder) {
  auto& f = app.CreateForm<Sample>();
  f.status->SetPanelText(0, "Scanning...");
  f.status->SetPanelText(0, "Scanning...");
  f.status->SetPanelText(0, "Done");
  std::vector<std::string> texts;
  for (const auto& s : host.StatusLog())
    if (s.panel == 0) texts.push_back(s.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Scanning...", "Done"}));
}

TEST_F(UiTest, WorkerCallsRunOnTheUiThread) {
  auto& f = app.CreateForm<Sample>();
  std::thread::id ranOn;
  std::thread worker([&] {
    host.Synchronize([&] {
      ranOn = std::this_thread::get_id();
      f.status->SetPanelText(0, "from worker");
    });
  });
  while (f.status->PanelText(0).empty()) host.ProcessMessages();
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(UiTest, ClosingTheMainFormEndsTheProgram) {
  auto& main = app.CreateForm<Sample>();
  auto& other = app.CreateForm<Sample>();
  other.Show();
  EXPECT_EQ(host.Run(app), -1);
  EXPECT_TRUE(main.Visible());
  main.Close();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(app.ExitCode(), 0);
}

}  // namespace
