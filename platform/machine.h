#pragma once
#include "platform/files.h"
#include "platform/net.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/system.h"

namespace platform {

// Everything the program reaches of the machine it runs on.
class Machine {
 public:
  virtual ~Machine() = default;
  virtual Registry& Reg() = 0;
  virtual FileSystem& Files() = 0;
  virtual Processes& Procs() = 0;
  virtual SystemInfo& Sys() = 0;
  virtual Shell& Sh() = 0;
  virtual Services& Svc() = 0;
  virtual Network& Net() = 0;
};

}  // namespace platform
