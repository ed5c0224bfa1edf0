#pragma once
// Language files: positional texts for the captions of the translatable
// windows and for the message table, enciphered under the language key.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form.h"

namespace app {

class Program;

// The windows a language file addresses, in file order.
std::vector<ui::Form*> TranslatableForms(Program& program);
// Whether a component takes lines in a language file now (its caption must
// not be empty, its hint not "-1").
bool TakesLanguageLines(const ui::Component& c);
// Message table entries in the order of the file's message section.
const std::vector<int>& MessageSectionOrder();

enum class LanguageResult { Applied, Unreadable, NoBeginLine, TooLarge, OutOfMemory };

// The line after which a language file's texts begin.
inline constexpr const char* kBeginLine = "begin():";
// Language files are a few kilobytes; anything above this is not one.
inline constexpr std::size_t kMaxLanguageFileBytes = 1u << 20;

// Applies deciphered language text; nothing changes without a "begin():" line
// or when memory runs out while reading it.
LanguageResult ApplyLanguageText(Program& program, std::string_view text);
// Reads, deciphers and applies a ".vlng" file.
LanguageResult ApplyLanguageFile(Program& program, const std::string& path);
// What the user is told when applying the file at path failed.
std::string LanguageFailureText(LanguageResult result, const std::string& path);
// The current texts in the same layout, plain: the template for translators.
std::string LanguageTemplate(Program& program);

// "Languages\" of the program folder.
std::string LanguageFolder(Program& program);
// Fills the list of the language window with the "*.vlng" files.
void FillLanguageList(Program& program);
// At start: the language list, then the stored language if there is one.
// Every failure leaves the default texts.
void ApplyStartupLanguage(Program& program);

}  // namespace app
