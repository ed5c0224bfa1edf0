#include "ui/error_report.h"

#include <new>

namespace ui {

std::string ExceptionMessage(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return "Out of memory.";
  } catch (const std::exception& x) {
    const std::string what = x.what();
    return what.empty() ? "Unknown error." : what;
  } catch (...) {
    return "Unknown error.";
  }
}

void RunReported(const std::function<void()>& fn, const ErrorReport& report) {
  if (!report) {
    fn();
    return;
  }
  try {
    fn();
  } catch (...) {
    // A copy: the report may replace itself (a run that ends on it).
    const ErrorReport handler = report;
    handler(ExceptionMessage(std::current_exception()));
  }
}

}  // namespace ui
