#pragma once
// A File over a POSIX descriptor it owns, for the machines that run on Linux
// (the simulated and the offline one): size and position as the descriptor
// gives them.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace platform {

class DescriptorFile : public File {
 public:
  explicit DescriptorFile(int fd) : fd_(fd) {}
  ~DescriptorFile() override { ::close(fd_); }
  DescriptorFile(const DescriptorFile&) = delete;
  DescriptorFile& operator=(const DescriptorFile&) = delete;
  std::uint64_t Size() override {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  Status Seek(std::uint64_t position) override {
    return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0 ? kOk : kInvalidParameter;
  }

 protected:
  int fd_;
};

}  // namespace platform
