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
constexpr DWORD kErrorNotSupported = 50;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorBufferOverflow = 111;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorDirectory = 267;
constexpr DWORD kErrorDeletePending = 303;
// A path through a junction that an ordinary user made, once the process
// enforces redirection trust.
constexpr DWORD kErrorUntrustedMountPoint = 448;

enum class KnownFolder { RoamingAppData, LocalAppData, Profile };

// Opaque search handle; null stands for INVALID_HANDLE_VALUE.
struct FindSearch;
using FindHandle = FindSearch*;

// Opaque handle to an open file or folder; null stands for
// INVALID_HANDLE_VALUE.
struct OpenFile;
using FileHandle = OpenFile*;

// Access rights, sharing, and the open's options (CreateFileW's flags; the
// NT create options for NtCreateFile).
constexpr DWORD kDelete = 0x00010000;
constexpr DWORD kSynchronize = 0x00100000;
constexpr DWORD kFileListDirectory = 0x0001;
constexpr DWORD kFileTraverse = 0x0020;
constexpr DWORD kFileReadAttributes = 0x0080;
constexpr DWORD kFileShareRead = 0x1;
constexpr DWORD kFileShareWrite = 0x2;
constexpr DWORD kFileShareDelete = 0x4;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kFileFlagBackupSemantics = 0x02000000;
constexpr DWORD kFileFlagOpenReparsePoint = 0x00200000;
constexpr DWORD kFileDirectoryFile = 0x00000001;
constexpr DWORD kFileSynchronousIoNonalert = 0x00000020;
constexpr DWORD kFileNonDirectoryFile = 0x00000040;
constexpr DWORD kFileOpenReparsePoint = 0x00200000;
constexpr DWORD kFileOpenForBackupIntent = 0x00004000;
// GetFinalPathNameByHandleW's forms: the path normalized (each part as
// the disk spells it) or as it was opened, after a drive letter or after
// the NT volume's name.
constexpr DWORD kFileNameNormalized = 0x0;
constexpr DWORD kFileNameOpened = 0x8;
constexpr DWORD kVolumeNameNt = 0x2;
// SetFileDispositionByHandle's flags (FILE_DISPOSITION_INFO_EX): delete, and
// with POSIX semantics, which removes the name at once even while another
// program holds the file open (NTFS, Windows 10 1607 and later).
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosix = 0x2;

// What GetFileInformationByHandle and GetFileInformationByHandleEx
// (FileAttributeTagInfo) tell of an open file: its attributes, its reparse
// tag when it is a reparse point, and its identity, the same for every
// spelling of its path. The 64-bit index is not unique on ReFS, so where
// Windows answers FileIdInfo (Windows 8 and later) its 128-bit identifier
// and 64-bit volume serial come too; "FILE_ID_INFO structure", Microsoft
// Learn. An index or identifier of 0 is unknown.
struct FileInfo {
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    DWORD volumeSerial = 0;
    std::uint64_t fileIndex = 0;
    DWORD links = 0;
    bool hasFileId = false;
    std::uint64_t volumeSerial64 = 0;
    std::uint64_t fileIdLow = 0, fileIdHigh = 0;
};

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
