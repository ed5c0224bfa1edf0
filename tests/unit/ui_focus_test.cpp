// Focus, clicks on list rows and keys in the control model.
#include <gtest/gtest.h>

#include "ui/form.h"

namespace {

TEST(UiFocus, EnteringAContainerFiresOnceOutermostFirst) {
  ui::Form form("TTest");
  auto& book = form.Add<ui::PageBook>(ui::Kind::PageBook, "Book");
  auto& page = form.Add(ui::Kind::Page, "Page", &book);
  auto& a = form.Add<ui::ListView>(ui::Kind::ListView, "A", &page);
  auto& b = form.Add(ui::Kind::Button, "B", &page);
  auto& outside = form.Add(ui::Kind::Button, "Outside");
  std::vector<std::string> entered;
  for (ui::Component* c : {static_cast<ui::Component*>(&book), &page, static_cast<ui::Component*>(&a)})
    c->OnEnter = [&entered, c] { entered.push_back(c->Name()); };
  a.SetFocus();
  EXPECT_EQ(entered, (std::vector<std::string>{"Book", "Page", "A"}));
  b.SetFocus();  // within the book: no new entry
  EXPECT_EQ(entered.size(), 3u);
  EXPECT_TRUE(b.Focused());
  outside.SetFocus();
  a.SetFocus();
  EXPECT_EQ(entered.size(), 6u);
}

TEST(UiFocus, RowClicksSelectToggleAndReport) {
  ui::Form form("TTest");
  form.Show();
  auto& list = form.Add<ui::ListView>(ui::Kind::ListView, "L");
  list.checkBoxes = true;
  list.AddItem("one");
  list.AddItem("two");
  std::vector<int> ups;
  list.OnMouseUp = [&](int row) { ups.push_back(row); };
  list.ClickRow(1, true);
  list.ClickRow(0, false);
  list.ClickRow(5, true);
  EXPECT_EQ(ups, (std::vector<int>{1, 0, -1}));
  EXPECT_TRUE(list.Items()[1].checked);
  EXPECT_FALSE(list.Items()[0].checked);
  EXPECT_EQ(list.SelectedIndex(), 0);
  EXPECT_FALSE(list.Items()[1].selected);
  EXPECT_TRUE(list.Focused());
  form.Hide();
  list.ClickRow(1, true);  // a hidden window takes no clicks
  EXPECT_EQ(ups.size(), 3u);
  EXPECT_EQ(list.KeyDown(13), 13u);
}

}  // namespace
