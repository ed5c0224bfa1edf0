#pragma once
#include <array>
#include <string>
#include <string_view>

namespace app {

// The indexed texts of the program (entries 0 to 198). Filled with the
// English defaults at start; a language file replaces most of them.
class MessageTable {
 public:
  static constexpr int kCount = 199;
  // Entries a language file never changes.
  static constexpr int kNeverTranslated = 169;
  static constexpr int kFirstFixed = 180;

  void LoadDefaults();
  const std::string& operator[](int index) const { return texts_.at(index); }
  void Set(int index, std::string text) { texts_.at(index) = std::move(text); }
  static std::string_view Default(int index);

 private:
  std::array<std::string, kCount> texts_;
};

}  // namespace app
