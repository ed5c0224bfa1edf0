#pragma once
// The open report file while the full report log is being built. Parts of the
// program that contribute a section write through it when it is set.
#include <string_view>

namespace engine {

class ReportLog {
 public:
  virtual ~ReportLog() = default;
  // Writes one line (the line end is added); false once a write has failed,
  // and the writer stops its section.
  virtual bool WriteLine(std::string_view line) = 0;
  // Progress: the item being written, for the status bar.
  virtual void Progress(std::string_view) {}
};

}  // namespace engine
