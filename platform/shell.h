#pragma once
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

inline constexpr int kShowNormal = 1;

class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecute: a document, program or web address with a verb ("open",
  // "properties").
  virtual Status Execute(std::string_view verb, std::string_view file, std::string_view params,
                         std::string_view directory, int show) = 0;
};

}  // namespace platform
