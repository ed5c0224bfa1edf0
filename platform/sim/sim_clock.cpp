// The simulated machine's clock: the host's UTC time unless a test sets it,
// shown with a day.month.year short date and a 24-hour long time.
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/local_time.h"
#include "platform/sim/sim_clock.h"

namespace platform {
namespace {
std::optional<LocalTime> g_fixed;
}

void sim::SetLocalTime(std::optional<LocalTime> fixed) { g_fixed = fixed; }

LocalTime NowLocal() {
  if (g_fixed) return *g_fixed;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string ShortDateText(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.day, t.month, t.year);
  return buf;
}

std::string LongTimeText(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

}  // namespace platform
