// Open files and folders as handles: each holds a host descriptor opened
// without following a link where Windows would open the link itself, and
// acts through the folder descriptor it was opened in, so that a folder
// renamed or replaced meanwhile cannot lead it elsewhere. Sharing is kept
// both ways round, as Windows checks it: a handle opened without
// FILE_SHARE_DELETE keeps others from opening its file for DELETE, and one
// open for DELETE keeps others from opening it without that sharing. The
// classic delete leaves the name until the file's last handle closes.
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
    // How many names it had when it was opened. Windows answers the count
    // as it is; the run asks right after the open, before it acts, and a
    // stat more a file would cost the walk a seventh of its system calls.
    nlink_t links = 0;
    // Opened without following a link at its name, and no folder: until a
    // rename, its final path is its folder's plus that name.
    bool namedEntry = false;
    std::uint64_t openedAfter = 0;  // renames made before its open
    // Its final path in the DOS form, as read after finalAfter renames.
    std::u16string finalPath;
    std::uint64_t finalAfter = ~std::uint64_t{0};
    bool sharesDelete = true;
    bool forDelete = false;
    // Every open handle, in a list of its own (a handle is one allocation
    // already; a map of them would cost two more a file).
    OpenFile* prev = nullptr;
    OpenFile* next = nullptr;
    bool listed = false;
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

OpenFile* g_handles = nullptr;
std::uint64_t g_renames = 0;

void Enlist(OpenFile* h) {
    h->next = g_handles;
    if (g_handles) g_handles->prev = h;
    g_handles = h;
    h->listed = true;
}

void Delist(OpenFile* h) {
    if (!h->listed) return;
    (h->prev ? h->prev->next : g_handles) = h->next;
    if (h->next) h->next->prev = h->prev;
    h->prev = h->next = nullptr;
    h->listed = false;
}

// An open handle on the file, for DELETE access if forDelete.
bool AnyHandleOn(const Identity& id, bool forDelete) {
    for (OpenFile* h = g_handles; h; h = h->next)
        if (h->dev == id.first && h->ino == id.second && (!forDelete || h->forDelete)) return true;
    return false;
}

// Files whose classic delete waits for their last handle: the folder that
// holds the name (kept open meanwhile) and the name.
struct PendingName {
    OpenFile* folder = nullptr;
    std::string name;
};
std::map<Identity, PendingName>& Pending() {
    static std::map<Identity, PendingName> pending;
    return pending;
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

// pendingError is what an open of a name whose delete is pending gets:
// STATUS_DELETE_PENDING, which the doorway's NtCreateFile keeps as 303 and
// Win32's CreateFileW reads as access denied.
FileHandle Open(OpenFile* folder, std::string name, DWORD access, DWORD share, bool followLink,
                bool folderOnly, bool fileOnly, DWORD pendingError) {
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
    const Identity id{st.st_dev, st.st_ino};
    if (((access & kDelete) && Unshared().count(id)) ||
        (!(share & kFileShareDelete) && AnyHandleOn(id, true)))
        refusal = kErrorSharingViolation;
    if (Pending().count(id)) refusal = pendingError;
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
    h->links = st.st_nlink;
    h->namedEntry = !followLink && !S_ISDIR(st.st_mode);
    h->openedAfter = g_renames;
    h->sharesDelete = (share & kFileShareDelete) != 0;
    h->forDelete = (access & kDelete) != 0;
    if (!h->sharesDelete) ++Unshared()[id];
    Enlist(h);
    return h;
}

}  // namespace

void NoteRename() { ++g_renames; }

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
    if (ThroughUntrustedLink(host, !(flags & kFileFlagOpenReparsePoint))) return nullptr;
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
             !(flags & kFileFlagBackupSemantics), kErrorAccessDenied);
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
                (options & kFileDirectoryFile) != 0, (options & kFileNonDirectoryFile) != 0,
                kErrorDeletePending);
}

BOOL CloseHandle(FileHandle h) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    // Its sharing ends with the handle; its descriptor once nothing opened
    // in it is open; a pending delete with the file's last handle.
    const Identity id{h->dev, h->ino};
    if (!h->sharesDelete) {
        auto it = Unshared().find(id);
        if (it != Unshared().end() && --it->second == 0) Unshared().erase(it);
    }
    h->sharesDelete = true;
    Delist(h);
    Release(h);
    if (!Pending().empty() && !AnyHandleOn(id, false)) {
        auto pending = Pending().find(id);
        if (pending != Pending().end()) {
            struct stat st {};
            const PendingName& p = pending->second;
            if (fstatat(p.folder->fd, p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                st.st_dev == id.first && st.st_ino == id.second)
                unlinkat(p.folder->fd, p.name.c_str(), 0);
            Release(p.folder);
            Pending().erase(pending);
        }
    }
    return 1;
}

namespace {

// What the handle holds, as fstat tells it; false, with the last error
// Windows gives a closed handle, when it cannot be told.
bool HandleStat(FileHandle h, struct stat& st) {
    if (h && fstat(h->fd, &st) == 0) return true;
    Fail(kErrorInvalidHandle);
    return false;
}

}  // namespace

BOOL GetFileInformationByHandle(FileHandle h, FileInfo* info) {
    struct stat st {};
    if (!HandleStat(h, st)) return 0;
    // Only a link or a folder needs its path (what it leads to, a cloud tag).
    const bool plain = !S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode);
    const std::string host = plain ? std::string() : FdPath(h->fd);
    info->attributes = AttributesOf(host, st, plain ? std::string_view(h->name) : BaseName(host));
    info->reparseTag = (info->attributes & kAttrReparsePoint) ? ReparseTagOf(host, st) : 0;
    info->volumeSerial = static_cast<DWORD>(st.st_dev);
    info->fileIndex = st.st_ino;
    info->links = static_cast<DWORD>(st.st_nlink);
    info->hasFileId = true;
    info->volumeSerial64 = st.st_dev;
    info->fileIdLow = st.st_ino;
    info->fileIdHigh = 0;
    return 1;
}

BOOL GetFileLinkCount(FileHandle h, DWORD* links) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    *links = static_cast<DWORD>(h->links);
    return 1;
}

namespace {

// What Windows names the handle's file, in the DOS form. An entry opened as
// itself, with no rename since, is its folder's path plus the name it was
// opened by; a folder's own path, or anything's after a rename through the
// doorway, is read from the system, once for each rename. That saves the
// walk a call a file. (A folder moved meanwhile by another host process
// keeps its old path here, where Windows would give the new one; the run
// acts only through its handles, on the same files either way.)
const std::u16string& ReadPath(OpenFile* h) {
    if (h->finalAfter != g_renames) {
        const std::string host = FdPath(h->fd);
        h->finalPath = host.empty() ? std::u16string() : FromHostPath(host);
        h->finalAfter = g_renames;
    }
    return h->finalPath;
}

const std::u16string& DosPath(OpenFile* h) {
    if (!h->namedEntry || !h->folder || h->openedAfter != g_renames) return ReadPath(h);
    const std::u16string& folder = ReadPath(h->folder);
    h->finalPath.clear();
    if (folder.empty()) return h->finalPath;
    h->finalPath = folder;
    if (h->finalPath.back() != u'\\') h->finalPath += u'\\';
    h->finalPath += FromUtf8(h->name.data(), h->name.size());
    return h->finalPath;
}

}  // namespace

// The host has one volume, C:, whose NT name is that of a first disk's
// first volume. The opened form is the normalized one: the emulation's
// names are spelled as the disk has them.
DWORD GetFinalPathNameByHandleW(FileHandle h, WCHAR* path, DWORD size, DWORD flags) {
    static const std::u16string none;
    const std::u16string& dos = h ? DosPath(h) : none;
    if (dos.empty()) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    const std::u16string w =
        (flags & kVolumeNameNt) ? u"\\Device\\HarddiskVolume1" + dos.substr(2) : u"\\\\?\\" + dos;
    if (w.size() >= size) return static_cast<DWORD>(w.size() + 1);
    std::copy(w.begin(), w.end(), path);
    path[w.size()] = 0;
    return static_cast<DWORD>(w.size());
}

BOOL SetFileDispositionByHandle(FileHandle h, DWORD flags) {
    if (!h) {
        Fail(kErrorInvalidHandle);
        return 0;
    }
    if (!(flags & (kDispositionDelete | kDispositionPosix))) return 1;
    // Only while the name still names the file this handle holds. With
    // POSIX semantics the name goes at once; the classic delete leaves it,
    // unopenable, until the file's last handle closes.
    struct stat st {};
    if (!StillNamed(*h, st)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) {
        Fail(kErrorAccessDenied);
        return 0;
    }
    if (!(flags & kDispositionPosix)) {
        PendingName& pending = Pending()[{h->dev, h->ino}];
        if (!pending.folder) {
            pending.folder = h->folder;
            ++h->folder->refs;
            pending.name = h->name;
        }
        return 1;
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
    NoteRename();
    ++root->refs;
    Release(h->folder);
    h->folder = root;
    h->name = target;
    return 1;
}

}  // namespace vx::win::backend
