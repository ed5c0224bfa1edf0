#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace kvxdb {

// The database author's tool; returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvxdb
