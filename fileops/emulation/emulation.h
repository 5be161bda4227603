// What the files of the host emulation share: the thread's last error, the
// UTF conversions, and the host's view of a Windows path and its attributes.
// Each operation behind the doorway behaves as Windows documents it.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "fileops/platform_backend.h"

namespace vx::win::emu {

void Fail(DWORD code);  // sets the calling thread's last error

std::string ToUtf8(const WCHAR* s, std::size_t n);
std::u16string FromUtf8(const char* s, std::size_t n);
std::u16string FoldCase(std::u16string s);

std::string HostPath(const WCHAR* p);
std::u16string FromHostPath(const std::string& hostPath);
DWORD MissingError(const std::string& host);
DWORD FromErrno(int e, const std::string& host);

// The hidden attribute is kept in the sticky bit: it costs no system call
// beyond the stat every attribute query makes anyway, and Linux gives the
// bit no meaning on files and only restricts deleting other users' entries
// in folders, which a profile does not have.
constexpr mode_t kHiddenBit = S_ISVTX;

// host may be empty for an entry that is neither a link nor a folder.
DWORD AttributesOf(const std::string& host, const struct stat& lst, std::string_view name);
DWORD ReparseTagOf(const std::string& host, const struct stat& lst);
std::string_view BaseName(const std::string& host);
bool IsReadOnlyFile(const struct stat& lst);

// lstat and unlink, through the handle of an open search that holds the
// folder, where there is one.
int LinkStat(const std::string& host, struct stat* st);
int Unlink(const std::string& host);

// Redirection trust, once enforced: true, with the last error 448, for a
// path through a link that a user who is no administrator made (followsLast:
// the call follows host itself, if it is such a link).
void EnforceRedirectionTrust();
bool ThroughUntrustedLink(const std::string& host, bool followsLast);

// Counts the renames made through the doorway: a folder's final path, once
// read, is read again only after one (see GetFinalPathNameByHandleW).
void NoteRename();

// A handle open without FILE_SHARE_DELETE holds this file or folder: Windows
// then refuses to delete or rename it (ERROR_SHARING_VIOLATION).
bool HeldAgainstDelete(const struct stat& st);

}  // namespace vx::win::emu
