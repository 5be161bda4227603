// The real Win32 calls behind the platform doorway. UTF-16 text crosses as
// char16_t, which on Windows has the layout of wchar_t.
// windows.h first: the shell headers need its types.
#include <windows.h>

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

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

BOOL SetDefaultDllDirectories(DWORD flags) {
    // Found at run time: Windows 7 has it only with update KB2533623, and an
    // import would stop the program from starting without it.
    using Fn = BOOL(WINAPI*)(DWORD);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    return fn ? fn(flags) : 0;
}

}  // namespace vx::win::backend
