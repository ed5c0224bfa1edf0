#include "app/messages.h"

#include <utility>

namespace app {
namespace {

struct DefaultText {
  int index;
  const char* text;
};

constexpr DefaultText kDefaults[] = {
#include "app/message_defaults.inc"
};

}  // namespace

std::string_view MessageTable::Default(int index) {
  for (const auto& d : kDefaults)
    if (d.index == index) return d.text;
  return {};
}

void MessageTable::LoadDefaults() {
  for (auto& t : texts_) t.clear();
  for (const auto& d : kDefaults) texts_[d.index] = d.text;
}

}  // namespace app
