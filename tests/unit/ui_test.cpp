#include <gtest/gtest.h>

#include <atomic>
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

namespace {

// The general error report: an exception that escapes a timer, a click the
// host delivers or a worker's synchronised call is an error box with its
// text, and everything else goes on.
TEST_F(UiTest, AnExceptionThatEscapesAHandlerIsAnErrorBoxAndTheProgramGoesOn) {
  app.title = "Klaruvex Pro v4 - SE";
  auto& f = app.CreateForm<Sample>();
  f.Show();
  f.tick->OnTimer = [&f] {
    if (++f.ticks == 1) throw std::runtime_error("The timer broke.");
  };
  f.go->OnClick = [] { throw std::bad_alloc(); };
  host.Answer(kIdOk, "The timer broke.", "Klaruvex Pro v4 - SE");
  f.tick->SetEnabled(true);
  host.Advance(30);
  EXPECT_EQ(f.ticks, 3);  // the timer kept running

  host.Answer(kIdOk, "Out of memory.", "Klaruvex Pro v4 - SE");
  host.Dispatch([&f] { f.go->Click(); });

  // The worker is released and goes on.
  host.Answer(kIdOk, "Unknown error.", "Klaruvex Pro v4 - SE");
  std::atomic<bool> workerDone = false;
  std::thread worker([&] {
    host.Synchronize([] { throw 42; });
    host.Synchronize([&] { workerDone = true; });
  });
  while (!workerDone) host.ProcessMessages();
  worker.join();
  EXPECT_EQ(host.PendingAnswers(), 0u);
  ASSERT_EQ(host.Boxes().size(), 3u);
  EXPECT_EQ(host.Boxes()[0].spec.icon, Icon::Error);
  EXPECT_TRUE(host.Boxes()[0].spec.topmost);

  // A program that handles them itself (the unattended run) sees the text.
  std::vector<std::string> seen;
  app.OnException = [&](const std::string& message) { seen.push_back(message); };
  host.Dispatch([] { throw std::runtime_error("quietly"); });
  EXPECT_EQ(seen, std::vector<std::string>{"quietly"});
  EXPECT_EQ(host.Boxes().size(), 3u);
}

TEST(ErrorReport, WithoutAnApplicationExceptionsPropagate) {
  HeadlessHost host;
  EXPECT_THROW(host.Dispatch([] { throw std::runtime_error("x"); }), std::runtime_error);
  {
    Application app(host);
    EXPECT_TRUE(host.onException);
  }
  EXPECT_FALSE(host.onException);
}

}  // namespace
