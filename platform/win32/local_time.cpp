#include "platform/local_time.h"
#include "platform/win32/win.h"

namespace platform {
namespace {

SYSTEMTIME ToSystemTime(const LocalTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  return st;
}

}  // namespace

LocalTime NowLocal() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string ShortDateText(const LocalTime& t) {
  SYSTEMTIME st = ToSystemTime(t);
  char buf[128] = {};
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, sizeof buf)) return {};
  return buf;
}

std::string LongTimeText(const LocalTime& t) {
  SYSTEMTIME st = ToSystemTime(t);
  char buf[128] = {};
  if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, sizeof buf)) return {};
  return buf;
}

}  // namespace platform
