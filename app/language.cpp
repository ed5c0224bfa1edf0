#include "app/language.h"

#include <new>

#include "app/all_windows.h"
#include "app/options.h"
#include "app/program.h"
#include "engine/threat_database.h"
#include "update/ezcrypt.h"

namespace app {
namespace {

bool IsCaptionKind(ui::Kind k) {
  switch (k) {
    case ui::Kind::Label:
    case ui::Kind::Button:
    case ui::Kind::OwnerButton:
    case ui::Kind::CheckBox:
    case ui::Kind::OwnerCheckBox:
    case ui::Kind::Panel:
    case ui::Kind::MenuItem:
      return true;
    default:
      return false;
  }
}

std::vector<int> MakeOrder() {
  std::vector<int> o;
  auto range = [&](int a, int b) {
    for (int i = a; i <= b; ++i) o.push_back(i);
  };
  range(0, 20);
  o.push_back(128);
  range(21, 26);
  o.insert(o.end(), {129, 130});
  range(27, 44);
  o.insert(o.end(), {131, 132, 133});
  range(45, 57);
  o.insert(o.end(), {136, 137, 58, 59, 134, 135});
  range(60, 127);
  range(138, 168);
  range(170, 179);
  return o;
}

}  // namespace

// Every caption and hint that takes a line, in file order. Applying a file
// and writing the template must agree on it line for line.
template <class Fn>
void ForEachLanguageLine(Program& program, Fn&& fn) {
  for (ui::Form* form : TranslatableForms(program)) {
    for (const auto& c : form->Components()) {
      if (!TakesLanguageLines(*c)) continue;
      fn(*c, /*hint=*/false);
      if (c->GetKind() != ui::Kind::MenuItem && c->ShowHint()) fn(*c, /*hint=*/true);
    }
  }
}

std::vector<ui::Form*> TranslatableForms(Program& p) {
  return {p.form1, p.form2, p.form3, p.form4, p.form9, p.frmMain, p.formL, p.form12};
}

bool TakesLanguageLines(const ui::Component& c) {
  return IsCaptionKind(c.GetKind()) && c.Hint() != "-1" && !c.Caption().empty();
}

const std::vector<int>& MessageSectionOrder() {
  static const std::vector<int> order = MakeOrder();
  return order;
}

LanguageResult ApplyLanguageText(Program& program, std::string_view text) {
  std::size_t pos = 0;
  if (!engine::SkipPastLine(text, pos, kBeginLine)) return LanguageResult::NoBeginLine;
  auto next = [&] { return engine::ReadTextLine(text, pos); };

  // Every line is read before any text changes: running out of memory
  // midway leaves the windows as they were.
  std::vector<std::string> lines;
  try {
    ForEachLanguageLine(program, [&](ui::Component&, bool) { lines.push_back(next()); });
    for (std::size_t i = 0; i < MessageSectionOrder().size(); ++i) lines.push_back(next());
  } catch (const std::bad_alloc&) {
    return LanguageResult::OutOfMemory;
  }
  auto line = lines.begin();
  ForEachLanguageLine(program, [&](ui::Component& c, bool hint) {
    if (line == lines.end()) return;
    hint ? c.SetHint(std::move(*line++)) : c.SetCaption(std::move(*line++));
  });
  for (int entry : MessageSectionOrder())
    if (line != lines.end()) program.msg.Set(entry, std::move(*line++));
  return LanguageResult::Applied;
}

LanguageResult ApplyLanguageFile(Program& program, const std::string& path) {
  std::string bytes;
  switch (platform::ReadWholeFile(program.machine.Files(), path, bytes, kMaxLanguageFileBytes)) {
    case platform::kOk:
      break;
    case platform::kFileTooLarge:
      return LanguageResult::TooLarge;
    case platform::kNotEnoughMemory:
      return LanguageResult::OutOfMemory;
    default:
      return LanguageResult::Unreadable;
  }
  update::DecipherInPlace(bytes, update::LanguageKey());
  return ApplyLanguageText(program, bytes);
}

std::string LanguageFailureText(LanguageResult result, const std::string& path) {
  switch (result) {
    case LanguageResult::Applied:
      break;
    case LanguageResult::Unreadable:
      return "Cannot open file \"" + path + "\".";
    case LanguageResult::NoBeginLine:
      return "\"" + path +
             "\" is not a language file of this program (it has no \"begin():\" line). Nothing "
             "was changed.";
    case LanguageResult::TooLarge:
      return "\"" + path + "\" is larger than 1 MB: it is not a language file of this program. "
             "Nothing was changed.";
    case LanguageResult::OutOfMemory:
      return "There is not enough memory to load \"" + path + "\". Nothing was changed.";
  }
  return {};
}

std::string LanguageTemplate(Program& program) {
  std::string out = "begin():\r\n";
  ForEachLanguageLine(program, [&](ui::Component& c, bool hint) {
    out += (hint ? c.Hint() : c.Caption()) + "\r\n";
  });
  for (int entry : MessageSectionOrder()) out += program.msg[entry] + "\r\n";
  return out;
}

std::string LanguageFolder(Program& program) { return program.programFolder + "Languages\\"; }

void FillLanguageList(Program& program) {
  ui::ListBox& list = *program.formL->List1;
  list.Clear();
  auto& fs = program.machine.Files();
  platform::FindData d;
  if (auto h = fs.FindFirst(LanguageFolder(program) + "*.vlng", d)) {
    do {
      if (!d.IsDirectory()) list.Add(d.name);
      program.app.ProcessMessages();
    } while (h->Next(d));
  }
}

void ApplyStartupLanguage(Program& program) {
  FillLanguageList(program);
  if (auto name = ReadLanguageOption(program.machine.Reg())) {
    const std::string path = LanguageFolder(program) + *name;
    // A missing or foreign file quietly leaves the defaults; lack of memory
    // is worth a word, the same file may well load next time.
    if (ApplyLanguageFile(program, path) == LanguageResult::OutOfMemory)
      program.Box(LanguageFailureText(LanguageResult::OutOfMemory, path), program.app.title,
                  ui::Buttons::Ok, ui::Icon::Error);
  }
}

}  // namespace app
