// What each build supplies behind the doorway: the real Win32 calls or the
// emulation. Only platform.cpp calls these.
#pragma once

#include "fileops/platform.h"

namespace vx::win::backend {

HRESULT SHGetKnownFolderPath(KnownFolder id, DWORD flags, WCHAR** path);
void CoTaskMemFree(void* p);
WCHAR* PathCombineW(WCHAR* dest, const WCHAR* dir, const WCHAR* file);
BOOL PathAppendW(WCHAR* path, const WCHAR* more);
BOOL PathRemoveFileSpecW(WCHAR* path);
const WCHAR* PathFindExtensionW(const WCHAR* path);
const WCHAR* PathFindFileNameW(const WCHAR* path);
FindHandle FindFirstFileW(const WCHAR* pattern, FindData* data);
BOOL FindNextFileW(FindHandle h, FindData* data);
BOOL FindClose(FindHandle h);
DWORD GetFileAttributesW(const WCHAR* path);
BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes);
BOOL DeleteFileW(const WCHAR* path);
UINT GetTempFileNameW(const WCHAR* dir, const WCHAR* prefix, UINT unique, WCHAR* out);
BOOL MoveFileW(const WCHAR* from, const WCHAR* to);
BOOL MoveFileExW(const WCHAR* from, const WCHAR* to, DWORD flags);
BOOL CreateDirectoryW(const WCHAR* path);
DWORD GetLastError();
void SetLastError(DWORD code);
void OpenFileStreamW(std::fstream& stream, const WCHAR* path, std::ios::openmode mode);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstSize);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstSize);
int AddFontResourceExW(const WCHAR* path, DWORD flags);
BOOL RemoveFontResourceExW(const WCHAR* path, DWORD flags);
BOOL SendNotifyMessageW(std::uintptr_t hwnd, UINT msg, std::uintptr_t wParam,
                        std::intptr_t lParam);
int GetUserDefaultLocaleName(WCHAR* name, int size);
BOOL GetVersionExW(OsVersionInfo* info);
void GetSystemTime(SystemTime* time);

}  // namespace vx::win::backend
