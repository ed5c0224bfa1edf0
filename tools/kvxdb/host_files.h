#pragma once
// The files of the machine kvxdb runs on, through the program's file-system
// interface: the Windows layer on Windows, plain stdio elsewhere.
#include <memory>

#include "platform/files.h"

namespace kvxdb {

std::unique_ptr<platform::FileSystem> CreateHostFileSystem();

}  // namespace kvxdb
