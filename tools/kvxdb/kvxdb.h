#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace platform {
class FileSystem;
}

namespace kvxdb {

// The database author's tool on the host's files; returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same on the given file system.
int Run(platform::FileSystem& fs, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err);

}  // namespace kvxdb
