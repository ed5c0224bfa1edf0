// System.ini/Win.ini lines: listing and rewriting on any bytes. The first
// line of the input is the line to switch, the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "startup/startup_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  const std::string_view first = cut == std::string_view::npos ? input : input.substr(0, cut);
  const std::string_view file = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  const std::string oldLine = startup::NormalizeIniLine(first);
  std::size_t rows = 0;
  for (const auto& line : startup::SplitLines(file)) {
    bool active = false;
    if (startup::IsLoaderLine(startup::NormalizeIniLine(line), &active)) ++rows;
  }
  const std::string out = startup::RewriteIniLines(file, oldLine, ";" + oldLine);
  // Each line grows by at most the new line and its CR LF.
  // Every line may grow by the marker and a line break; the listing's cap
  // does not apply to the rewrite, so lines are counted by their breaks.
  const std::size_t lines = static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n') +
                                                     std::count(file.begin(), file.end(), '\r')) + 1;
  if (out.size() > file.size() + lines * (oldLine.size() + 3)) __builtin_trap();
  (void)rows;
  return 0;
}
