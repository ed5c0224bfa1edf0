#pragma once
// The application's general error report: what becomes of an exception that
// escapes an event handler, a timer or a call handed over from a worker.
#include <exception>
#include <functional>
#include <string>

namespace ui {

using ErrorReport = std::function<void(const std::string& message)>;

// The text of an exception for the user ("Out of memory." for a failed
// allocation).
std::string ExceptionMessage(std::exception_ptr e);

// Runs fn; an exception that escapes it goes to `report` with its text. With
// no report it propagates.
void RunReported(const std::function<void()>& fn, const ErrorReport& report);

}  // namespace ui
