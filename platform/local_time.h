#pragma once
// The local clock and the system's date and time formats.
#include <string>

namespace platform {

struct LocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

// One reading of the local clock.
LocalTime NowLocal();
// The system's short date format ("07.12.2026" under a day.month.year locale)
// and long time format ("13:05:12").
std::string ShortDateText(const LocalTime& t);
std::string LongTimeText(const LocalTime& t);

}  // namespace platform
