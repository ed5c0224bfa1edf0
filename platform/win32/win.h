#pragma once
// The one place Windows headers come in. The "A" functions are called by
// their explicit names; the generic macros that clash with our interface
// names are removed.
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows XP is the oldest system the program runs on: no import may need a
// later one (psapi.dll rather than the K32 names of Windows 7).
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#define PSAPI_VERSION 1
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>
#include <tlhelp32.h>
#include <wininet.h>

#undef CopyFile
#undef MoveFile
#undef ReplaceFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef MessageBox
#undef GetObject
#undef OpenService
#undef CreateService
