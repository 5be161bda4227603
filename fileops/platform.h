// The one doorway to Windows. Every system operation the program uses is
// declared here with the arguments the program passes; on Windows the calls go
// to the real API, elsewhere to the project's emulation. Callers never learn
// which one they talk to.
#pragma once

#include <cstdint>
#include <fstream>
#include <ios>
#include <string>
#include <vector>

namespace vx::win {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = int;
using HRESULT = std::int32_t;
using WCHAR = char16_t;

constexpr DWORD kMaxPath = 260;  // MAX_PATH
// The longest folder GetTempFileNameW is documented to take: the name it
// adds ("delXXXX.tmp" and the separator) must still fit MAX_PATH.
constexpr DWORD kMaxTempFolderLength = kMaxPath - 14;
constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr DWORD kAttrReadOnly = 0x1;
constexpr DWORD kAttrHidden = 0x2;
constexpr DWORD kAttrDirectory = 0x10;
constexpr DWORD kAttrArchive = 0x20;
constexpr DWORD kAttrNormal = 0x80;
constexpr DWORD kAttrReparsePoint = 0x400;
// Reparse tags (winnt.h). A name surrogate stands for another entry of the
// file system: junctions, symbolic links and the other link kinds.
constexpr DWORD kReparseTagNameSurrogate = 0x20000000u;
constexpr DWORD kReparseTagSymlink = 0xA000000Cu;
constexpr DWORD kReparseTagMountPoint = 0xA0000003u;
constexpr DWORD kReparseTagCloud7 = 0x9000701Au;
constexpr DWORD kMoveFileReplaceExisting = 0x1;
constexpr DWORD kMoveFileCopyAllowed = 0x2;
constexpr DWORD kFrPrivate = 0x10;
constexpr std::uintptr_t kHwndBroadcast = 0xFFFF;
constexpr UINT kWmFontChange = 0x001D;
constexpr UINT kCpUtf8 = 65001;
constexpr int kLocaleNameMaxLength = 85;
constexpr HRESULT kSOk = 0;
// HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), the shell's answer for a known
// folder that does not exist, and E_OUTOFMEMORY.
constexpr HRESULT kHresultPathNotFound = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT kEOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr DWORD kLoadLibrarySearchSystem32 = 0x800;

constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorNotEnoughMemory = 8;
constexpr DWORD kErrorNoMoreFiles = 18;
constexpr DWORD kErrorSharingViolation = 32;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorBufferOverflow = 111;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorDirectory = 267;

enum class KnownFolder { RoamingAppData, LocalAppData, Profile };

// Opaque search handle; null stands for INVALID_HANDLE_VALUE.
struct FindSearch;
using FindHandle = FindSearch*;

struct FindData {
    DWORD attributes = 0;
    DWORD reparseTag = 0;  // dwReserved0: the tag, when attributes say reparse point
    WCHAR fileName[kMaxPath] = {};
};

// The fields of OSVERSIONINFOEXW that the program reads, plus the size
// field the caller must set (284 for the extended record).
struct OsVersionInfo {
    DWORD size = 0;
    DWORD majorVersion = 0;
    DWORD minorVersion = 0;
    DWORD buildNumber = 0;
    DWORD platformId = 0;
    std::uint8_t productType = 0;
};
constexpr DWORD kOsVersionInfoExSize = 284;
// sizeof(OSVERSIONINFOW), the record without the Ex fields, which
// GetVersionExW takes too.
constexpr DWORD kOsVersionInfoSize = 276;
// dwPlatformId of every NT-based Windows (VER_PLATFORM_WIN32_NT).
constexpr DWORD kVerPlatformWin32Nt = 2;
constexpr std::uint8_t kVerNtWorkstation = 1;

struct SystemTime {
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

#define VX_PLATFORM_OP(result, name, params) result name params;
#include "fileops/platform_ops.inc"
#undef VX_PLATFORM_OP

}  // namespace vx::win
