#include "platform/net.h"

namespace platform {

bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  std::string_view name = text.substr(0, colon);
  if (colon != std::string_view::npos) {
    std::string_view digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    unsigned value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
  }
  if (name.empty()) return false;
  host.assign(name);
  return true;
}

}  // namespace platform
