// Open files and folders as handles: each holds a host descriptor opened
// without following a link where Windows would open the link itself, and
// acts through the folder descriptor it was opened in, so that a folder
// renamed or replaced meanwhile cannot lead it elsewhere. A handle opened
// without FILE_SHARE_DELETE keeps others from renaming or deleting its file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "fileops/emulation/emulation.h"

namespace vx::win {

struct OpenFile {
    int fd = -1;                 // O_PATH: the file or folder itself
    OpenFile* folder = nullptr;  // the folder its name lies in, kept while this is open
    int refs = 1;                // its handle, and the handles opened in it
    std::string name;            // its name there, in host form
    dev_t dev = 0;
    ino_t ino = 0;
    bool sharesDelete = true;
};

}  // namespace vx::win

namespace vx::win::emu {
namespace {

using Identity = std::pair<dev_t, ino_t>;

// Handles open without FILE_SHARE_DELETE, by the file they hold.
std::map<Identity, int>& Unshared() {
    static std::map<Identity, int> held;
    return held;
}

std::string FdPath(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// The name still names the file the handle holds; st is what it names.
bool StillNamed(const OpenFile& h, struct stat& st) {
    return fstatat(h.folder->fd, h.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           st.st_dev == h.dev && st.st_ino == h.ino;
}

// Lets go of a handle, and of its folder once nothing opened in it is open.
void Release(OpenFile* h) {
    while (h && --h->refs == 0) {
        close(h->fd);
        OpenFile* up = h->folder;
        delete h;
        h = up;
    }
}

FileHandle Open(OpenFile* folder, std::string name, DWORD access, DWORD share, bool followLink,
                bool folderOnly, bool fileOnly) {
    if (name.empty() || name.find('/') != std::string::npos) {
        Fail(kErrorInvalidName);
        return nullptr;
    }
    const int folderFd = folder->fd;
    const int fd =
        openat(folderFd, name.c_str(), O_PATH | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        Fail(errno == ENOENT ? kErrorFileNotFound : FromErrno(errno, {}));
        if (fd >= 0) close(fd);
        return nullptr;
    }
    // A link to a folder is a folder-type reparse point on Windows.
    struct stat through {};
    const bool isFolder =
        S_ISDIR(st.st_mode) ||
        (S_ISLNK(st.st_mode) && fstatat(folderFd, name.c_str(), &through, 0) == 0 &&
         S_ISDIR(through.st_mode));
    DWORD refusal = 0;
    if (folderOnly && !isFolder) refusal = kErrorDirectory;
    if (fileOnly && S_ISDIR(st.st_mode)) refusal = kErrorAccessDenied;
    if ((access & kDelete) && Unshared().count({st.st_dev, st.st_ino}))
        refusal = kErrorSharingViolation;
    if (refusal) {
        close(fd);
        Fail(refusal);
        return nullptr;
    }
    auto* h = new OpenFile;
    h->fd = fd;
    h->folder = folder;
    ++folder->refs;
    h->name = std::move(name);
    h->dev = st.st_dev;
    h->ino = st.st_ino;
    h->sharesDelete = (share & kFileShareDelete) != 0;
    if (!h->sharesDelete) ++Unshared()[{h->dev, h->ino}];
    return h;
}

}  // namespace

bool HeldAgainstDelete(const struct stat& st) {
    return Unshared().count({st.st_dev, st.st_ino}) != 0;
}

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

FileHandle CreateFileW(const WCHAR* path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) {
    std::string host = HostPath(path);
    if (host.empty() || disposition != kOpenExisting) {
        Fail(host.empty() ? kErrorPathNotFound : kErrorInvalidParameter);
        return nullptr;
    }
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    const auto slash = host.rfind('/');
    const std::string folder = slash == 0 ? "/" : host.substr(0, slash);
    std::string name = slash + 1 < host.size() ? host.substr(slash + 1) : ".";
    auto* parent = new OpenFile;
    parent->fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent->fd < 0) {
        delete parent;
        Fail(kErrorPathNotFound);
        return nullptr;
    }
    // Without backup semantics Windows opens no folder.
    FileHandle h =
        Open(parent, std::move(name), access, share, !(flags & kFileFlagOpenReparsePoint), false,
             !(flags & kFileFlagBackupSemantics));
    if (!h && GetLastError() == kErrorFileNotFound) Fail(MissingError(host));
    Release(parent);
    return h;
}

FileHandle NtCreateFile(FileHandle root, const WCHAR* name, DWORD access, DWORD share,
                        DWORD options) {
    if (!root || !name) {
        Fail(kErrorInvalidHandle);
        return nullptr;
    }
    const std::u16string n = name;
    // The NT layer takes a name as it is, trailing dots and spaces too.
    return Open(root, ToUtf8(n.data(), n.size()), access, share, !(options & kFileOpenReparsePoint),
                (options & kFileDirectoryFile) != 0, (options & kFileNonDirectoryFile) != 0);
}

BOOL CloseHandle(FileHandle h) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    // Its sharing ends with the handle; its descriptor once nothing opened
    // in it is open.
    if (!h->sharesDelete) {
        auto it = Unshared().find({h->dev, h->ino});
        if (it != Unshared().end() && --it->second == 0) Unshared().erase(it);
        h->sharesDelete = true;
    }
    Release(h);
    return 1;
}

BOOL GetFileInformationByHandle(FileHandle h, FileInfo* info) {
    struct stat st {};
    if (!h || fstat(h->fd, &st) != 0) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    // Only a link or a folder needs its path (what it leads to, a cloud tag).
    const bool plain = !S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode);
    const std::string host = plain ? std::string() : FdPath(h->fd);
    info->attributes = AttributesOf(host, st, plain ? std::string_view(h->name) : BaseName(host));
    info->reparseTag = (info->attributes & kAttrReparsePoint) ? ReparseTagOf(host, st) : 0;
    info->volumeSerial = static_cast<DWORD>(st.st_dev);
    info->fileIndex = st.st_ino;
    info->links = static_cast<DWORD>(st.st_nlink);
    return 1;
}

DWORD GetFinalPathNameByHandleW(FileHandle h, WCHAR* path, DWORD size) {
    const std::string host = h ? FdPath(h->fd) : std::string();
    if (host.empty()) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    const std::u16string w = u"\\\\?\\" + FromHostPath(host);
    if (w.size() >= size) return static_cast<DWORD>(w.size() + 1);
    std::copy(w.begin(), w.end(), path);
    path[w.size()] = 0;
    return static_cast<DWORD>(w.size());
}

BOOL SetFileDispositionByHandle(FileHandle h, BOOL deleteFile) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    if (!deleteFile) return 1;
    // The name goes at once, as modern Windows lets it; only while it still
    // names the file this handle holds.
    struct stat st {};
    if (!StillNamed(*h, st)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (unlinkat(h->folder->fd, h->name.c_str(), 0) != 0) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    return 1;
}

BOOL RenameByHandle(FileHandle h, FileHandle root, const WCHAR* name, BOOL replace) {
    if (!h || !root || !name) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    const std::u16string w = name;
    const std::string target = ToUtf8(w.data(), w.size());
    if (target.empty() || target.find('/') != std::string::npos) {
        Fail(kErrorInvalidName);
        return 0;
    }
    struct stat named {};
    if (!StillNamed(*h, named)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    struct stat existing {};
    if (fstatat(root->fd, target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!replace) {
            Fail(kErrorAlreadyExists);
            return 0;
        }
        if (S_ISDIR(existing.st_mode) || IsReadOnlyFile(existing)) {
            Fail(kErrorAccessDenied);
            return 0;
        }
    }
    if (renameat2(h->folder->fd, h->name.c_str(), root->fd, target.c_str(),
                  replace ? 0 : RENAME_NOREPLACE) != 0) {
        Fail(errno == EEXIST ? kErrorAlreadyExists : FromErrno(errno, {}));
        return 0;
    }
    ++root->refs;
    Release(h->folder);
    h->folder = root;
    h->name = target;
    return 1;
}

}  // namespace vx::win::backend
