#pragma once
#include <cstdint>

namespace platform {

// Win32 error codes, kept numerically identical on every implementation so
// callers and tests can compare them directly.
using Status = std::uint32_t;

inline constexpr Status kOk = 0;
inline constexpr Status kFileNotFound = 2;
inline constexpr Status kPathNotFound = 3;
inline constexpr Status kAccessDenied = 5;
inline constexpr Status kInvalidHandle = 6;
inline constexpr Status kNotEnoughMemory = 8;
inline constexpr Status kNoMoreFiles = 18;
inline constexpr Status kSharingViolation = 32;
inline constexpr Status kHandleEof = 38;  // the file ended before its size said
inline constexpr Status kFileExists = 80;
inline constexpr Status kInvalidParameter = 87;
inline constexpr Status kDirNotEmpty = 145;
inline constexpr Status kAlreadyExists = 183;
inline constexpr Status kFileTooLarge = 223;
inline constexpr Status kMoreData = 234;
inline constexpr Status kNoMoreItems = 259;

}  // namespace platform
