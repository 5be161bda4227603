// File operations on the host's files, with the refusals Windows makes that
// the host would not: a read-only file is not deleted, replaced or opened
// for writing, even by root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

BOOL Move(const WCHAR* from, const WCHAR* to, DWORD flags) {
    std::string src = HostPath(from), dst = HostPath(to);
    struct stat sst {};
    struct stat dstst {};
    if (src.empty() || lstat(src.c_str(), &sst) != 0) {
        Fail(src.empty() ? kErrorPathNotFound : FromErrno(errno, src));
        return 0;
    }
    if (HeldAgainstDelete(sst)) {
        Fail(kErrorSharingViolation);
        return 0;
    }
    if (dst.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (lstat(dst.c_str(), &dstst) == 0) {
        if (!(flags & kMoveFileReplaceExisting)) {
            Fail(kErrorAlreadyExists);
            return 0;
        }
        // Windows refuses to replace a folder or a read-only file.
        if (S_ISDIR(dstst.st_mode) || IsReadOnlyFile(dstst)) {
            Fail(kErrorAccessDenied);
            return 0;
        }
    } else if (errno != ENOENT) {
        Fail(FromErrno(errno, dst));
        return 0;
    } else if (MissingError(dst) == kErrorPathNotFound) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    NoteRename();
    if (rename(src.c_str(), dst.c_str()) == 0) return 1;
    if (errno == EXDEV && (flags & kMoveFileCopyAllowed) && S_ISREG(sst.st_mode)) {
        std::error_code ec;
        std::filesystem::copy_file(src, dst, std::filesystem::copy_options::overwrite_existing, ec);
        if (!ec && unlink(src.c_str()) == 0) return 1;
    }
    Fail(FromErrno(errno, dst));
    return 0;
}

}  // namespace

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

DWORD GetFileAttributesW(const WCHAR* path) {
    std::string host = HostPath(path);
    struct stat lst {};
    if (host.empty()) {
        Fail(path && *path ? kErrorPathNotFound : kErrorFileNotFound);
        return kInvalidFileAttributes;
    }
    if (ThroughUntrustedLink(host, false)) return kInvalidFileAttributes;
    if (LinkStat(host, &lst) != 0) {
        Fail(FromErrno(errno, host));
        return kInvalidFileAttributes;
    }
    if (host.size() > 1 && host.back() == '/' && !S_ISDIR(lst.st_mode)) {
        Fail(kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    return AttributesOf(host, lst, BaseName(host));
}

BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes) {
    std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) {
        Fail(host.empty() ? kErrorPathNotFound : FromErrno(errno, host));
        return 0;
    }
    mode_t mode = st.st_mode & 07777;
    if (!S_ISDIR(st.st_mode))  // read-only means nothing on folders, as Wine has it
        mode = attributes & kAttrReadOnly ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
    mode = attributes & kAttrHidden ? mode | kHiddenBit : mode & ~kHiddenBit;
    if (mode != (st.st_mode & 07777) && chmod(host.c_str(), mode) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    return 1;
}

BOOL DeleteFileW(const WCHAR* path) {
    std::string host = HostPath(path);
    struct stat lst {};
    if (host.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (LinkStat(host, &lst) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    if (host.back() == '/') {
        Fail(kErrorInvalidName);
        return 0;
    }
    if (S_ISDIR(lst.st_mode) || IsReadOnlyFile(lst)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (HeldAgainstDelete(lst)) {
        Fail(kErrorSharingViolation);
        return 0;
    }
    if (Unlink(host) != 0) {
        Fail(FromErrno(errno, host));
        return 0;
    }
    return 1;
}

UINT GetTempFileNameW(const WCHAR* dir, const WCHAR* prefix, UINT unique, WCHAR* out) {
    if (!dir || !out) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    std::u16string d = dir;
    if (d.size() > kMaxTempFolderLength) {
        Fail(kErrorBufferOverflow);
        return 0;
    }
    std::string host = HostPath(dir);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Fail(kErrorDirectory);
        return 0;
    }
    std::u16string base = d;
    if (base.empty() || base.back() != u'\\') base += u'\\';
    std::u16string pre = prefix ? std::u16string(prefix).substr(0, 3) : u"";
    auto nameFor = [&](UINT n) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", n);
        return base + pre + std::u16string(hex, hex + std::strlen(hex)) + u".TMP";
    };
    auto emit = [&](const std::u16string& name) {
        std::copy(name.begin(), name.end(), out);
        out[name.size()] = 0;
    };
    if (unique != 0) {
        emit(nameFor(unique & 0xFFFF));
        return unique & 0xFFFF;
    }
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    UINT start = static_cast<UINT>((ts.tv_sec * 1000 + ts.tv_nsec / 1000000) & 0xFFFF);
    if (start == 0) start = 1;
    UINT n = start;
    do {
        std::u16string name = nameFor(n);
        int fd = open(HostPath(name.c_str()).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
        if (fd >= 0) {
            close(fd);
            emit(name);
            return n;
        }
        if (errno != EEXIST) {
            Fail(FromErrno(errno, host));
            return 0;
        }
        n = (n & 0xFFFF) == 0xFFFF ? 1 : n + 1;
    } while (n != start);
    Fail(kErrorFileExists);
    return 0;
}

BOOL MoveFileW(const WCHAR* from, const WCHAR* to) { return Move(from, to, 0); }

BOOL MoveFileExW(const WCHAR* from, const WCHAR* to, DWORD flags) { return Move(from, to, flags); }

BOOL CreateDirectoryW(const WCHAR* path) {
    std::string host = HostPath(path);
    if (host.empty()) {
        Fail(kErrorPathNotFound);
        return 0;
    }
    if (mkdir(host.c_str(), 0777) != 0) {
        Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : FromErrno(errno, host));
        return 0;
    }
    return 1;
}

void OpenFileStreamW(std::fstream& stream, const WCHAR* path, std::ios::openmode mode) {
    std::string host = HostPath(path);
    if (host.empty()) {
        stream.setstate(std::ios::failbit);
        return;
    }
    // Windows refuses to open a read-only file for writing, whoever runs
    // the program (root on the host would not be refused).
    struct stat st {};
    if ((mode & std::ios::out) && stat(host.c_str(), &st) == 0 && IsReadOnlyFile(st)) {
        Fail(kErrorAccessDenied);
        stream.setstate(std::ios::failbit);
        return;
    }
    stream.open(host, mode);
}

}  // namespace vx::win::backend
