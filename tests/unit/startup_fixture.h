#pragma once
// The program on a simulated machine, with helpers for registry values and
// the rows of list views as the user reads them.
#include "tests/unit/program_fixture.h"

class StartupFixture : public ProgramFixture {
 protected:
  void Set(platform::Hive hive, const std::string& key, const std::string& name,
           const std::string& data) {
    auto k = machine.Reg().Create(hive, key, platform::keyaccess::kAllAccess);
    ASSERT_TRUE(k) << key;
    ASSERT_EQ(k->WriteString(name, data), platform::kOk);
  }
  std::optional<std::string> Get(platform::Hive hive, const std::string& key, const std::string& name) {
    auto k = machine.Reg().Open(hive, key, platform::keyaccess::kRead);
    return k ? k->ReadString(name) : std::nullopt;
  }
  // "caption|sub|sub", led by "[x] " or "[ ] " when the list shows check boxes
  // and marks are asked for.
  static std::vector<std::string> Rows(const ui::ListView& list, bool marks = true) {
    std::vector<std::string> out;
    for (const auto& r : list.Items()) {
      std::string s = std::string(marks && list.checkBoxes ? (r.checked ? "[x] " : "[ ] ") : "") + r.caption;
      for (const auto& sub : r.subItems) s += "|" + sub;
      out.push_back(s);
    }
    return out;
  }
};
