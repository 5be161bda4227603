// The real Win32 calls behind the platform doorway. UTF-16 text crosses as
// char16_t, which on Windows has the layout of wchar_t.
// windows.h first: the shell headers need its types.
#include <windows.h>

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <filesystem>

#include "fileops/platform_backend.h"

namespace vx::win::backend {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

LPCWSTR W(const WCHAR* p) { return reinterpret_cast<LPCWSTR>(p); }
LPWSTR W(WCHAR* p) { return reinterpret_cast<LPWSTR>(p); }

}  // namespace

HRESULT SHGetKnownFolderPath(KnownFolder id, DWORD flags, WCHAR** path) {
    const KNOWNFOLDERID& folder = id == KnownFolder::RoamingAppData ? FOLDERID_RoamingAppData
                                  : id == KnownFolder::LocalAppData ? FOLDERID_LocalAppData
                                                                    : FOLDERID_Profile;
    PWSTR out = nullptr;
    ::HRESULT hr = ::SHGetKnownFolderPath(folder, flags, nullptr, &out);
    *path = reinterpret_cast<WCHAR*>(out);
    return hr;
}

void CoTaskMemFree(void* p) { ::CoTaskMemFree(p); }

WCHAR* PathCombineW(WCHAR* dest, const WCHAR* dir, const WCHAR* file) {
    return reinterpret_cast<WCHAR*>(::PathCombineW(W(dest), W(dir), W(file)));
}

BOOL PathAppendW(WCHAR* path, const WCHAR* more) { return ::PathAppendW(W(path), W(more)); }

BOOL PathRemoveFileSpecW(WCHAR* path) { return ::PathRemoveFileSpecW(W(path)); }

const WCHAR* PathFindExtensionW(const WCHAR* path) {
    return reinterpret_cast<const WCHAR*>(::PathFindExtensionW(W(path)));
}

const WCHAR* PathFindFileNameW(const WCHAR* path) {
    return reinterpret_cast<const WCHAR*>(::PathFindFileNameW(W(path)));
}

namespace {

void CopyFindData(const WIN32_FIND_DATAW& from, FindData* to) {
    to->attributes = from.dwFileAttributes;
    to->reparseTag = (from.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? from.dwReserved0 : 0;
    static_assert(sizeof(from.cFileName) == sizeof(to->fileName));
    std::memcpy(to->fileName, from.cFileName, sizeof(to->fileName));
}

}  // namespace

FindHandle FindFirstFileW(const WCHAR* pattern, FindData* data) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(W(pattern), &fd);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    CopyFindData(fd, data);
    return reinterpret_cast<FindHandle>(h);
}

BOOL FindNextFileW(FindHandle h, FindData* data) {
    WIN32_FIND_DATAW fd;
    if (!::FindNextFileW(reinterpret_cast<HANDLE>(h), &fd)) return 0;
    CopyFindData(fd, data);
    return 1;
}

BOOL FindClose(FindHandle h) { return ::FindClose(reinterpret_cast<HANDLE>(h)); }

DWORD GetFileAttributesW(const WCHAR* path) { return ::GetFileAttributesW(W(path)); }

BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes) {
    return ::SetFileAttributesW(W(path), attributes);
}

BOOL DeleteFileW(const WCHAR* path) { return ::DeleteFileW(W(path)); }

UINT GetTempFileNameW(const WCHAR* dir, const WCHAR* prefix, UINT unique, WCHAR* out) {
    return ::GetTempFileNameW(W(dir), W(prefix), unique, W(out));
}

BOOL MoveFileW(const WCHAR* from, const WCHAR* to) { return ::MoveFileW(W(from), W(to)); }

BOOL MoveFileExW(const WCHAR* from, const WCHAR* to, DWORD flags) {
    return ::MoveFileExW(W(from), W(to), flags);
}

BOOL CreateDirectoryW(const WCHAR* path) { return ::CreateDirectoryW(W(path), nullptr); }

namespace {

HANDLE H(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

FileHandle Opened(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<FileHandle>(h);
}

// An NT call's status as Win32 callers read it: in the last error. A name
// whose delete is pending keeps its own code: Win32 would read
// STATUS_DELETE_PENDING as access denied (5), which the run would take for
// a brief refusal and wait on, though the file is already on its way out
// ("ZwCreateFile", Microsoft Learn: a file marked for deletion cannot be
// opened until its last handle closes).
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056L);

BOOL Status(NTSTATUS status) {
    if (NT_SUCCESS(status)) return 1;
    ::SetLastError(status == kStatusDeletePending ? ERROR_DELETE_PENDING
                                                  : ::RtlNtStatusToDosError(status));
    return 0;
}

// The layouts the NT calls read, as the mingw-w64 headers and the NT
// prototypes give them, for the build being made: a fault here would send
// the calls garbage on one architecture only, and no machine here may run
// the other's code. The stdcall names the imports bind to
// (NtCreateFile@44, NtSetInformationFile@20, RtlNtStatusToDosError@4) follow
// from the argument sizes asserted here.
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
constexpr bool k32 = sizeof(void*) == 4;
static_assert(sizeof(OBJECT_ATTRIBUTES) == (k32 ? 24 : 48));
static_assert(sizeof(IO_STATUS_BLOCK) == (k32 ? 8 : 16));
static_assert(sizeof(UNICODE_STRING) == (k32 ? 8 : 16));
// On i686 each argument takes four bytes of the stack; x86-64 has no such
// decoration.
static_assert(!k32 || sizeof(PHANDLE) + sizeof(ACCESS_MASK) + sizeof(POBJECT_ATTRIBUTES) +
                              sizeof(PIO_STATUS_BLOCK) + sizeof(PLARGE_INTEGER) +
                              5 * sizeof(ULONG) + sizeof(PVOID) ==
                          44);  // NtCreateFile's eleven arguments
static_assert(!k32 || sizeof(HANDLE) + sizeof(PIO_STATUS_BLOCK) + sizeof(PVOID) + sizeof(ULONG) +
                              sizeof(FILE_INFORMATION_CLASS) ==
                          20);         // NtSetInformationFile's five
static_assert(sizeof(NTSTATUS) == 4);  // RtlNtStatusToDosError's one

// A name no longer than one MAX_PATH area, as the NT calls count it, in
// area; false when it is longer.
bool Counted(const WCHAR* name, WCHAR (&area)[MAX_PATH], UNICODE_STRING& u) {
    const std::size_t n = std::char_traits<WCHAR>::length(name);
    if (n >= MAX_PATH) return false;
    std::memcpy(area, name, n * sizeof(WCHAR));
    u.Length = u.MaximumLength = static_cast<USHORT>(n) * static_cast<USHORT>(sizeof(WCHAR));
    u.Buffer = W(area);
    return true;
}

}  // namespace

FileHandle CreateFileW(const WCHAR* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) {
    return Opened(::CreateFileW(W(path), access, share, nullptr, disposition, flags, nullptr));
}

FileHandle NtCreateFile(FileHandle root, const WCHAR* name, DWORD access, DWORD share,
                        DWORD options) {
    WCHAR area[MAX_PATH];
    UNICODE_STRING u;
    if (!Counted(name, area, u)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &u, OBJ_CASE_INSENSITIVE, H(root), nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status = ::NtCreateFile(&h, access, &attributes, &io, nullptr, 0, share,
                                           FILE_OPEN, options, nullptr, 0);
    return Status(status) ? reinterpret_cast<FileHandle>(h) : nullptr;
}

BOOL CloseHandle(FileHandle h) { return ::CloseHandle(H(h)); }

BOOL GetFileInformationByHandle(FileHandle h, FileInfo* info) {
    BY_HANDLE_FILE_INFORMATION by;
    if (!::GetFileInformationByHandle(H(h), &by)) return 0;
    info->attributes = by.dwFileAttributes;
    info->volumeSerial = by.dwVolumeSerialNumber;
    info->fileIndex = (static_cast<std::uint64_t>(by.nFileIndexHigh) << 32) | by.nFileIndexLow;
    info->links = by.nNumberOfLinks;
    info->reparseTag = 0;
    if (by.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag;
        if (!::GetFileInformationByHandleEx(H(h), FileAttributeTagInfo, &tag, sizeof tag)) return 0;
        info->reparseTag = tag.ReparseTag;
    }
    // Windows 7 has no FileIdInfo; the 64-bit index then stands alone.
    // FILE_ID_INFO, which the headers declare only for Windows 8 and later.
    constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
    struct {
        ULONGLONG VolumeSerialNumber;
        BYTE Identifier[16];
    } id{};
    static_assert(sizeof id == 24);
    info->hasFileId = ::GetFileInformationByHandleEx(H(h), kFileIdInfo, &id, sizeof id) != 0;
    if (info->hasFileId) {
        info->volumeSerial64 = id.VolumeSerialNumber;
        std::memcpy(&info->fileIdLow, id.Identifier, 8);
        std::memcpy(&info->fileIdHigh, id.Identifier + 8, 8);
    }
    return 1;
}

BOOL GetFileLinkCount(FileHandle h, DWORD* links) {
    FILE_STANDARD_INFO standard;
    if (!::GetFileInformationByHandleEx(H(h), FileStandardInfo, &standard, sizeof standard))
        return 0;
    *links = standard.NumberOfLinks;
    return 1;
}

DWORD GetFinalPathNameByHandleW(FileHandle h, WCHAR* path, DWORD size, DWORD flags) {
    return ::GetFinalPathNameByHandleW(H(h), W(path), size, flags);
}

BOOL SetFileDispositionByHandle(FileHandle h, DWORD flags) {
    if (flags & kDispositionPosix) {
        // FILE_DISPOSITION_INFO_EX; Windows before 10 1607, and file systems
        // other than NTFS, refuse it with 87 or 50.
        // FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
        // FileDispositionInfoEx is class 21.
        struct {
            ULONG Flags;
        } ex{0x1 | 0x2};
        static_assert(sizeof ex == 4);
        return ::SetFileInformationByHandle(H(h), static_cast<FILE_INFO_BY_HANDLE_CLASS>(21), &ex,
                                            sizeof ex);
    }
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = (flags & kDispositionDelete) ? TRUE : FALSE;
    return ::SetFileInformationByHandle(H(h), FileDispositionInfo, &disposition,
                                        sizeof disposition);
}

BOOL RenameByHandle(FileHandle h, FileHandle root, const WCHAR* name, BOOL replace) {
    // FILE_RENAME_INFORMATION: a flag, the folder, and the name's length in
    // bytes, followed by the name itself (MAX_PATH is far more than any name
    // the program gives).
    struct Record {
        BOOLEAN ReplaceIfExists;
        HANDLE RootDirectory;
        ULONG FileNameLength;
        WCHAR FileName[MAX_PATH];
    } rename{};
    static_assert(offsetof(Record, RootDirectory) == (k32 ? 4 : 8));
    static_assert(offsetof(Record, FileNameLength) == (k32 ? 8 : 16));
    static_assert(offsetof(Record, FileName) == (k32 ? 12 : 20));
    static_assert(sizeof(Record) == (k32 ? 532 : 544));
    const std::size_t n = std::char_traits<WCHAR>::length(name);
    if (n >= MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    rename.ReplaceIfExists = replace ? TRUE : FALSE;
    rename.RootDirectory = H(root);
    rename.FileNameLength = static_cast<ULONG>(n) * static_cast<ULONG>(sizeof(WCHAR));
    std::memcpy(rename.FileName, name, n * sizeof(WCHAR));
    IO_STATUS_BLOCK io{};
    constexpr auto kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
    return Status(
        ::NtSetInformationFile(H(h), &io, &rename, sizeof rename, kFileRenameInformation));
}

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

void OpenFileStreamW(std::fstream& stream, const WCHAR* path, std::ios::openmode mode) {
    // libstdc++ opens a wide std::filesystem::path with _wfopen, so the name
    // never passes through the ANSI code page.
    stream.open(std::filesystem::path(reinterpret_cast<const wchar_t*>(path)), mode);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstSize) {
    return ::WideCharToMultiByte(codePage, flags, W(src), srcLen, dst, dstSize, nullptr, nullptr);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstSize) {
    return ::MultiByteToWideChar(codePage, flags, src, srcLen, W(dst), dstSize);
}

int AddFontResourceExW(const WCHAR* path, DWORD flags) {
    return ::AddFontResourceExW(W(path), flags, nullptr);
}

BOOL RemoveFontResourceExW(const WCHAR* path, DWORD flags) {
    return ::RemoveFontResourceExW(W(path), flags, nullptr);
}

BOOL SendNotifyMessageW(std::uintptr_t hwnd, UINT msg, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    return ::SendNotifyMessageW(reinterpret_cast<HWND>(hwnd), msg, wParam, lParam);
}

int GetUserDefaultLocaleName(WCHAR* name, int size) {
    return ::GetUserDefaultLocaleName(W(name), size);
}

BOOL GetVersionExW(OsVersionInfo* info) {
    OSVERSIONINFOEXW v;
    ZeroMemory(&v, sizeof v);
    v.dwOSVersionInfoSize = info->size;
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v))) return 0;
    info->majorVersion = v.dwMajorVersion;
    info->minorVersion = v.dwMinorVersion;
    info->buildNumber = v.dwBuildNumber;
    info->platformId = v.dwPlatformId;
    info->productType = v.wProductType;
    return 1;
}

void GetSystemTime(SystemTime* time) {
    SYSTEMTIME st;
    ::GetSystemTime(&st);
    time->year = st.wYear;
    time->month = st.wMonth;
    time->dayOfWeek = st.wDayOfWeek;
    time->day = st.wDay;
    time->hour = st.wHour;
    time->minute = st.wMinute;
    time->second = st.wSecond;
    time->milliseconds = st.wMilliseconds;
}

void GetCommandLineArgsW(std::vector<std::u16string>& args) {
    int n = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!argv) return;
    for (int i = 0; i < n; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    ::LocalFree(argv);
}

BOOL Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
    return 1;
}

BOOL GetTokenElevation() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    TOKEN_ELEVATION elevation{};
    ::DWORD size = 0;
    const BOOL known =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    ::CloseHandle(token);
    return known && elevation.TokenIsElevated;
}

BOOL SetRedirectionTrustPolicy() {
    // Windows 10 2004 and later; found at run time, as older ones lack it.
    // "PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY structure", Microsoft
    // Learn: EnforceRedirectionTrust makes the process that sets it follow
    // no junction that a non-admin user created.
    using Fn = BOOL(WINAPI*)(int, PVOID, SIZE_T);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    constexpr int kProcessRedirectionTrustPolicy = 16;
    ::DWORD flags = 1;  // EnforceRedirectionTrust
    return fn ? fn(kProcessRedirectionTrustPolicy, &flags, sizeof flags) : 0;
}

BOOL GetUserNameW(WCHAR* name, DWORD size) {
    ::DWORD n = size;
    return ::GetUserNameW(W(name), &n);
}

BOOL SetDefaultDllDirectories(DWORD flags) {
    // Found at run time: Windows 7 has it only with update KB2533623, and an
    // import would stop the program from starting without it.
    using Fn = BOOL(WINAPI*)(DWORD);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    return fn ? fn(flags) : 0;
}

}  // namespace vx::win::backend
