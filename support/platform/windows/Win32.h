// <windows.h> for the Windows backend and its tests. The platform interfaces share some names
// with the API's A/W macros; those macros are dropped here so both spellings keep their meaning
// (the code calls the W functions by their full names).
#pragma once

// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
// clang-format on

#undef DeleteFile
#undef ExtractIcon
#undef GetFileAttributes
#undef GetFileVersionInfo
#undef GetModuleFileName
