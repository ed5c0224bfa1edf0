#pragma once
// The service control manager and file version resources.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

// Values with their Win32 meaning.
namespace svc {
// Manager access.
inline constexpr std::uint32_t kManagerConnect = 0x0001;
inline constexpr std::uint32_t kManagerCreateService = 0x0002;
inline constexpr std::uint32_t kManagerEnumerate = 0x0004;
inline constexpr std::uint32_t kManagerAllAccess = 0xF003F;
// Service access.
inline constexpr std::uint32_t kQueryConfig = 0x0001;
inline constexpr std::uint32_t kChangeConfig = 0x0002;
inline constexpr std::uint32_t kQueryStatus = 0x0004;
inline constexpr std::uint32_t kStart = 0x0010;
inline constexpr std::uint32_t kStop = 0x0020;
inline constexpr std::uint32_t kDelete = 0x10000;
inline constexpr std::uint32_t kAllAccess = 0xF01FF;
// Service types.
inline constexpr std::uint32_t kOwnProcess = 0x10;
inline constexpr std::uint32_t kShareProcess = 0x20;
inline constexpr std::uint32_t kWin32 = 0x30;
inline constexpr std::uint32_t kDriver = 0x0B;
// Enumeration state mask.
inline constexpr std::uint32_t kStateActive = 1;
inline constexpr std::uint32_t kStateInactive = 2;
inline constexpr std::uint32_t kStateAll = 3;
// Current states.
inline constexpr std::uint32_t kStopped = 1;
inline constexpr std::uint32_t kStartPending = 2;
inline constexpr std::uint32_t kStopPending = 3;
inline constexpr std::uint32_t kRunning = 4;
inline constexpr std::uint32_t kContinuePending = 5;
inline constexpr std::uint32_t kPausePending = 6;
inline constexpr std::uint32_t kPaused = 7;
// Start types.
inline constexpr std::uint32_t kBootStart = 0;
inline constexpr std::uint32_t kSystemStart = 1;
inline constexpr std::uint32_t kAutoStart = 2;
inline constexpr std::uint32_t kDemandStart = 3;
inline constexpr std::uint32_t kDisabled = 4;
inline constexpr std::uint32_t kNoChange = 0xFFFFFFFF;
// Controls.
inline constexpr std::uint32_t kControlStop = 1;
// Error codes the service calls give.
inline constexpr Status kInsufficientBuffer = 122;
inline constexpr Status kDependentServicesRunning = 1051;
inline constexpr Status kServiceRequestTimeout = 1053;
inline constexpr Status kServiceNoThread = 1054;
inline constexpr Status kServiceDatabaseLocked = 1055;
inline constexpr Status kServiceAlreadyRunning = 1056;
inline constexpr Status kServiceDisabled = 1058;
inline constexpr Status kServiceDoesNotExist = 1060;
inline constexpr Status kServiceCannotAcceptCtrl = 1061;
inline constexpr Status kServiceNotActive = 1062;
inline constexpr Status kServiceMarkedForDelete = 1072;
inline constexpr Status kServiceExists = 1073;
}  // namespace svc

// SERVICE_STATUS.
struct ServiceStatus {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;  // milliseconds
};

// One record of an enumeration (ENUM_SERVICE_STATUS).
struct ServiceEntry {
  std::string keyName;
  std::string displayName;
  ServiceStatus status;
};

// QUERY_SERVICE_CONFIG.
struct ServiceConfig {
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::string binaryPathName;
  std::string loadOrderGroup;
  std::string serviceStartName;
  std::string displayName;
};

class ServiceHandle {
 public:
  virtual ~ServiceHandle() = default;
  virtual Status QueryStatus(ServiceStatus& out) = 0;
  // QueryServiceConfig in its two steps: the size the record needs (a
  // successful probe gives svc::kInsufficientBuffer and the size), then the
  // record itself read into a buffer of that many bytes.
  virtual Status QueryConfigSize(std::uint32_t& bytesNeeded) = 0;
  virtual Status QueryConfig(std::uint32_t bufferBytes, ServiceConfig& out) = 0;
  // StartService without arguments.
  virtual Status Start() = 0;
  // ControlService: the status the service reports back.
  virtual Status Control(std::uint32_t control, ServiceStatus& status) = 0;
  // ChangeServiceConfig with everything but the start type left alone.
  virtual Status ChangeStartType(std::uint32_t startType) = 0;
  virtual Status Delete() = 0;
};

// An open service control manager.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // One EnumServicesStatus call into a buffer of bufferBytes: the records
  // that fit, in the manager's order. *error is kMoreData when some did not.
  virtual std::vector<ServiceEntry> Enumerate(std::uint32_t typeMask, std::uint32_t stateMask,
                                              std::uint32_t bufferBytes,
                                              Status* error = nullptr) = 0;
  virtual std::unique_ptr<ServiceHandle> OpenService(std::string_view keyName,
                                                     std::uint32_t access,
                                                     Status* error = nullptr) = 0;
  // GetServiceKeyName into a buffer of bufferChars characters (terminator
  // included).
  virtual Status KeyName(std::string_view displayName, std::uint32_t bufferChars,
                         std::string& keyName) = 0;
  // An own-process Win32 service started on demand (for tests and setup).
  virtual std::unique_ptr<ServiceHandle> CreateService(std::string_view keyName,
                                                       std::string_view displayName,
                                                       std::string_view binaryPath,
                                                       std::uint32_t startType,
                                                       Status* error = nullptr) = 0;
};

// The string table of a file's version resource, first language listed under
// "\VarFileInfo\Translation": the standard keys the resource holds.
struct VersionStrings {
  std::map<std::string, std::string> values;  // by key ("LegalCopyright", ...)
};

class Services {
 public:
  virtual ~Services() = default;
  // OpenSCManager of the default database; machine "" is the local machine.
  virtual std::unique_ptr<ServiceManager> OpenManager(std::string_view machine,
                                                      std::uint32_t access,
                                                      Status* error = nullptr) = 0;
  // nullopt when the file has no version resource or no translation.
  virtual std::optional<VersionStrings> FileVersionStrings(std::string_view path) = 0;
};

// The keys of a version resource's string table, in the order they are read.
inline constexpr const char* kVersionKeys[] = {
    "CompanyName",  "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};

}  // namespace platform
