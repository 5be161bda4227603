// File and folder operations over the doorway: deletes with bounded
// retries, the move aside under a temporary name, folders and attributes.
#include "fileops/fileops.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fileops/failure.h"
#include "fileops/platform.h"
#include "paths/exact_path.h"

namespace vx {
namespace {

// On Windows, antivirus scanners, the search indexer and cloud clients open
// files for a moment, and a delete or a move meanwhile fails with a sharing
// violation (32) or access denied (5). Such a failure is tried again a few
// times, a file at most about a second and a run at most a few seconds, so
// that a folder of files held for good cannot make the run hang.
constexpr win::DWORD kRetryWaitsMs[] = {50, 100, 150, 200, 250, 250};
constexpr win::DWORD kRunRetryMs = 3000;
constexpr win::DWORD kFileRetryMs = 1000;
win::DWORD g_runRetryLeftMs = kRunRetryMs;

// What one file may still wait, across the calls made for it.
struct RetryBudget {
    win::DWORD leftMs = kFileRetryMs;
};

// Calls attempt until it succeeds or its failure is not one that waiting
// can end (refusesForGood tells a lasting access denial, such as a
// read-only file's); the last error is the last attempt's.
template <class Attempt, class RefusesForGood>
bool WithRetries(RetryBudget& budget, Attempt attempt, RefusesForGood refusesForGood) {
    if (attempt()) return true;
    for (const win::DWORD wait : kRetryWaitsMs) {
        const win::DWORD error = win::GetLastError();
        if (error != win::kErrorSharingViolation && error != win::kErrorAccessDenied) return false;
        if (wait > budget.leftMs || wait > g_runRetryLeftMs) return false;
        if (refusesForGood(error)) {
            win::SetLastError(error);
            return false;
        }
        if (!win::Sleep(wait)) {
            win::SetLastError(error);
            return false;
        }
        budget.leftMs -= wait;
        g_runRetryLeftMs -= wait;
        if (attempt()) return true;
    }
    return false;
}

// What the run opens and how: a folder to list and open names in, and a
// file to delete or rename. Neither follows a link at its last part; a
// held folder shares no delete, so that nobody renames it meanwhile.
constexpr win::DWORD kShareAll = win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;
constexpr win::DWORD kFolderAccess =
    win::kFileListDirectory | win::kFileTraverse | win::kFileReadAttributes | win::kSynchronize;
constexpr win::DWORD kFolderOptions = win::kFileDirectoryFile | win::kFileOpenReparsePoint |
                                      win::kFileSynchronousIoNonalert |
                                      win::kFileOpenForBackupIntent;
constexpr win::DWORD kFileOptions =
    win::kFileNonDirectoryFile | win::kFileOpenReparsePoint | win::kFileSynchronousIoNonalert;
constexpr win::DWORD kLookOptions = win::kFileOpenReparsePoint | win::kFileSynchronousIoNonalert;
constexpr win::DWORD kLookAccess = win::kFileReadAttributes | win::kSynchronize;

HeldFolder* g_innermost = nullptr;
bool g_elevated = false;
std::vector<WideString> g_trusted;
bool g_keeping = false;
win::FileInfo g_kept;

// The handle's final path in form, in area; empty when it cannot be had,
// with the last error saying why.
using FinalArea = win::WCHAR[2 * win::kMaxPath];
std::u16string_view FinalPath(win::FileHandle h, FinalArea& area, win::DWORD form) {
    const win::DWORD n = win::GetFinalPathNameByHandleW(h, area, std::size(area), form);
    if (n >= std::size(area)) win::SetLastError(win::kErrorInsufficientBuffer);
    if (n == 0 || n >= std::size(area)) return {};
    return std::u16string_view(area, n);
}

// The forms a folder's final path is asked in, in turn. Windows cannot give
// the normalized form over SMB where client or server predates Windows 10
// 1709 and the user may not list a folder above (5), for a volume without a
// drive letter (3), and on some RAM disks, image mounts and user-mode file
// systems (1, 21, 1005); "GetFinalPathNameByHandleW function", Microsoft
// Learn. The opened form needs no look at the folders above, and the NT
// volume form no drive letter. A folder and what is opened in it are always
// compared in the same form. Wine 8 ignores FILE_NAME_OPENED and answers
// the normalized form, so there a file link still shows as its target.
constexpr win::DWORD kFinalForms[] = {win::kFileNameNormalized, win::kFileNameOpened,
                                      win::kFileNameOpened | win::kVolumeNameNt};

// One file, whatever spelling names it. The 128-bit identifier where both
// have it (the 64-bit index is not unique on ReFS); an identity of 0 is
// unknown, and never the same as another.
bool SameFile(const win::FileInfo& a, const win::FileInfo& b) {
    if (a.hasFileId && b.hasFileId)
        return (a.fileIdLow || a.fileIdHigh) && a.volumeSerial64 == b.volumeSerial64 &&
               a.fileIdLow == b.fileIdLow && a.fileIdHigh == b.fileIdHigh;
    return a.fileIndex != 0 && a.volumeSerial == b.volumeSerial && a.fileIndex == b.fileIndex;
}

// Reparse points that lead elsewhere: a name surrogate, or a tag that
// cannot be told apart from one (0, as Wine shows a link to a folder).
bool LeadsElsewhere(win::DWORD attributes, win::DWORD reparseTag) {
    return (attributes & win::kAttrReparsePoint) &&
           (reparseTag == 0 || (reparseTag & win::kReparseTagNameSurrogate));
}

char16_t FoldedAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// Whether something opened as name in a folder whose final path is
// folderFinal really lies there under that name. Wine opens a link's target
// and, for a name that matches no file exactly, the first that matches in
// another case; both show in the final path. A folder's name comes from the
// program and may differ in case from the disk's; a file's is the listed one.
bool NamedThere(std::u16string_view final, std::u16string_view folderFinal,
                std::u16string_view name, bool anyCase) {
    if (folderFinal.empty() || final.empty()) return false;
    const std::size_t slash = folderFinal.back() == u'\\' ? 0 : 1;
    if (final.size() != folderFinal.size() + slash + name.size() ||
        !final.starts_with(folderFinal) || (slash && final[folderFinal.size()] != u'\\'))
        return false;
    return std::equal(name.begin(), name.end(), final.begin() + folderFinal.size() + slash,
                      [anyCase](char16_t a, char16_t b) {
                          return anyCase ? FoldedAscii(a) == FoldedAscii(b) : a == b;
                      });
}

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 3 && path.back() == u'\\') path.remove_suffix(1);
    return path;
}

// Where path's last part begins, past its folder's backslash; 0 when path
// has no folder part or no last part.
std::size_t NameStart(const WideString& path) {
    const std::size_t slash = path.rfind(u'\\');
    return slash == WideString::npos || slash == 0 || slash + 1 >= path.size() ? 0 : slash + 1;
}

// An open file, closed on every way out.
struct Entry {
    win::FileHandle h = nullptr;
    win::FileInfo info;
    Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { Close(); }
    void Close() {
        if (h) win::CloseHandle(h);
        h = nullptr;
    }
};

}  // namespace

struct EntryAccess {
    static win::FileHandle Handle(const HeldFolder& f) { return f.handle_; }
    static std::u16string_view Final(const HeldFolder& f) { return f.finalPath_; }
    static win::DWORD Form(const HeldFolder& f) { return f.finalForm_; }
    static bool& ClassicDelete(const HeldFolder& f) { return f.classicDelete_; }
};

namespace {

// What name in the folder is, looked at without asking for delete access
// (which the log's own handle refuses); the last error stays as it was.
bool Look(const HeldFolder& folder, const char16_t* name, win::FileInfo& info) {
    const win::DWORD error = win::GetLastError();
    Entry look;
    look.h =
        win::NtCreateFile(EntryAccess::Handle(folder), name, kLookAccess, kShareAll, kLookOptions);
    const bool seen = look.h && win::GetFileInformationByHandle(look.h, &info);
    win::SetLastError(error);
    return seen;
}

// A refusal no wait can end: the log's own file, or a folder.
bool RefusedForGood(const HeldFolder& folder, const char16_t* name) {
    win::FileInfo info;
    return Look(folder, name, info) &&
           ((info.attributes & win::kAttrDirectory) || (g_keeping && SameFile(info, g_kept)));
}

// The free "del" temporary name the move aside takes, as GetTempFileName
// makes it ("del" and up to four hex digits, counting up from a clock
// value), but taken by the rename itself in the held folder: a name made
// there first by path could land wherever that path has come to lead.
bool RenameAside(RetryBudget& budget, const HeldFolder& folder, Entry& entry, WideString& taken) {
    win::SystemTime now;
    win::GetSystemTime(&now);
    win::UINT n = (now.second * 1000u + now.milliseconds) & 0xFFFFu;
    for (win::UINT tries = 0; tries < 0xFFFFu; ++tries, n = (n & 0xFFFFu) == 0xFFFFu ? 1 : n + 1) {
        if (n == 0) n = 1;
        taken = u"del";
        bool digits = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const win::UINT digit = (n >> shift) & 0xFu;
            if (!digit && !digits && shift) continue;
            digits = true;
            taken += static_cast<char16_t>(digit < 10 ? u'0' + digit : u'A' + digit - 10);
        }
        taken += u".TMP";
        if (WithRetries(
                budget,
                [&] {
                    return win::RenameByHandle(entry.h, EntryAccess::Handle(folder), taken.c_str(),
                                               0) != 0;
                },
                [](win::DWORD) { return false; }))
            return true;
        const win::DWORD error = win::GetLastError();
        if (error != win::kErrorAlreadyExists && error != win::kErrorFileExists) return false;
    }
    win::SetLastError(win::kErrorFileExists);
    return false;
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (!handle_) return;
    win::CloseHandle(handle_);
    HeldFolder** link = &g_innermost;
    while (*link && *link != this) link = &(*link)->outer_;
    if (*link) *link = outer_;
}

HeldFolder* HeldFolder::Find(std::u16string_view folder) {
    folder = WithoutTrailingSeparators(folder);
    for (HeldFolder* f = g_innermost; f; f = f->outer_)
        if (f->path_ == folder) return f;
    return nullptr;
}

std::string FolderRefusal::Text() const {
    std::string text;
    switch (kind) {
        case Kind::None: return "not walked: missing";
        case Kind::Link:
            text =
                "not walked: a link, or no longer the folder it was (its contents lie elsewhere)";
            break;
        case Kind::NotAFolder: text = "not walked: it does not open as a folder"; break;
        case Kind::Held:
            text = "not walked: another program has it open to move or delete it";
            break;
        case Kind::NoFinalPath: text = "not walked: Windows cannot tell where it lies"; break;
    }
    if (!above.empty())
        text = "not walked: " + WideToUtf8(above) +
               " above it is a link, which a run with an elevated token does not follow";
    if (code) text += ", code=" + std::to_string(code);
    return text;
}

bool HeldFolder::Open(const WideString& path, FolderRefusal* refusal) {
    FolderRefusal ignored;
    if (!refusal) refusal = &ignored;
    *refusal = FolderRefusal{};
    if (handle_ || IsEmptyText(path)) return false;
    const WideString own(WithoutTrailingSeparators(path));
    const std::size_t at = NameStart(own);
    if (at == 0) return false;
    // Elevated, each folder from a known folder down is held in its turn,
    // and none may be a link.
    std::vector<std::unique_ptr<HeldFolder>> above;
    if (g_elevated && !Find(own.substr(0, at > 3 ? at - 1 : at))) {
        const auto known =
            std::find_if(g_trusted.begin(), g_trusted.end(), [&](const WideString& k) {
                return own.size() > k.size() + 1 && own.starts_with(k) && own[k.size()] == u'\\';
            });
        for (std::size_t step = known == g_trusted.end() ? WideString::npos
                                                         : own.find(u'\\', known->size() + 1);
             step < at; step = own.find(u'\\', step + 1)) {
            above.push_back(std::make_unique<HeldFolder>());
            if (!above.back()->OpenOne(own.substr(0, step), refusal)) {
                if (refusal->kind == FolderRefusal::Kind::Link)
                    refusal->above = own.substr(0, step);
                return false;
            }
        }
    }
    return OpenOne(own, refusal);
}

bool HeldFolder::OpenOne(const WideString& own, FolderRefusal* refusal) {
    const std::size_t at = NameStart(own);
    if (at == 0) return false;
    const WideString parent = own.substr(0, at > 3 ? at - 1 : at);
    const char16_t* name = own.c_str() + at;
    const HeldFolder* outer = Find(parent);
    win::FileHandle root =
        outer ? outer->handle_
              : win::CreateFileW(parent.c_str(), kFolderAccess, kShareAll, win::kOpenExisting,
                                 win::kFileFlagBackupSemantics);
    if (!root) return false;
    // Sharing no delete, the open is refused (32) while another program has
    // the folder open for DELETE, as a sync client or Explorer does while
    // it moves the folder: tried again as a held file is.
    RetryBudget budget;
    win::FileHandle h = nullptr;
    WithRetries(
        budget,
        [&] {
            h = win::NtCreateFile(root, name, kFolderAccess,
                                  win::kFileShareRead | win::kFileShareWrite, kFolderOptions);
            return h != nullptr;
        },
        [](win::DWORD error) { return error != win::kErrorSharingViolation; });
    const win::DWORD error = win::GetLastError();
    const auto refuse = [&](FolderRefusal::Kind kind, win::DWORD code) {
        if (h) win::CloseHandle(h);
        if (!outer) win::CloseHandle(root);
        refusal->kind = kind;
        refusal->code = code;
        return false;
    };
    if (!h) {
        // What exists but does not open as a folder (a link to a file, a
        // file) is no folder to act in; a missing one is told as missing.
        if (error == win::kErrorFileNotFound || error == win::kErrorPathNotFound) {
            if (!outer) win::CloseHandle(root);
            win::SetLastError(error);
            return false;
        }
        refuse(error == win::kErrorSharingViolation ? FolderRefusal::Kind::Held
                                                    : FolderRefusal::Kind::NotAFolder,
               error);
        win::SetLastError(error);
        return false;
    }
    win::FileInfo info;
    if (!win::GetFileInformationByHandle(h, &info) || !(info.attributes & win::kAttrDirectory) ||
        LeadsElsewhere(info.attributes, info.reparseTag))
        return refuse(FolderRefusal::Kind::Link, 0);
    // The folder and what it was opened in, in the first form both answer.
    FinalArea rootArea, ownArea;
    std::u16string_view rootFinal, final;
    win::DWORD form = kFinalForms[0], finalError = 0;
    for (const win::DWORD f : kFinalForms) {
        form = f;
        rootFinal = outer && outer->finalForm_ == f ? std::u16string_view(outer->finalPath_)
                                                    : FinalPath(root, rootArea, f);
        final = rootFinal.empty() ? std::u16string_view() : FinalPath(h, ownArea, f);
        if (!final.empty()) break;
        finalError = win::GetLastError();
    }
    if (final.empty()) return refuse(FolderRefusal::Kind::NoFinalPath, finalError);
    if (!NamedThere(final, rootFinal, name, true)) return refuse(FolderRefusal::Kind::Link, 0);
    if (!outer) win::CloseHandle(root);
    handle_ = h;
    path_ = own;
    finalPath_ = final;
    finalForm_ = form;
    outer_ = g_innermost;
    g_innermost = this;
    return true;
}

void ResetRetryBudget() { g_runRetryLeftMs = kRunRetryMs; }

void NoteTokenElevation() {
    g_elevated = win::GetTokenElevation() != 0;
    if (g_elevated) win::SetRedirectionTrustPolicy();
}

bool TokenElevated() { return g_elevated; }

void TrustFolder(const WideString& knownFolder) {
    const std::u16string_view folder = WithoutTrailingSeparators(knownFolder);
    if (!folder.empty() && std::find(g_trusted.begin(), g_trusted.end(), folder) == g_trusted.end())
        g_trusted.emplace_back(folder);
}

void KeepFile(const WideString& path) {
    g_keeping = false;
    if (IsEmptyText(path)) return;
    win::FileHandle h = win::CreateFileW(path.c_str(), kLookAccess, kShareAll, win::kOpenExisting,
                                         win::kFileFlagBackupSemantics);
    if (!h) return;
    g_keeping = win::GetFileInformationByHandle(h, &g_kept) != 0;
    win::CloseHandle(h);
}

FileFate RemoveFile(const WideString& path, bool moveAside, Act act, bool loadedFont) {
    FileFate fate;
    const std::size_t at = IsEmptyText(path) ? 0 : NameStart(path);
    if (at == 0) {
        fate.why = "not a file's path";
        return fate;
    }
    const char16_t* name = path.c_str() + at;
    const std::u16string_view folderPath(path.data(), at > 3 ? at - 1 : at);
    HeldFolder own;
    const HeldFolder* folder = HeldFolder::Find(folderPath);
    if (!folder) {
        FolderRefusal refusal;
        if (!own.Open(WideString(folderPath), &refusal)) {
            fate.why = refusal.kind == FolderRefusal::Kind::None
                           ? "gone before it could be deleted"
                           : "its folder is a link, or no longer the folder it was";
            if (refusal.kind != FolderRefusal::Kind::None &&
                refusal.kind != FolderRefusal::Kind::Link) {
                fate.why = "its folder cannot be held";
                fate.code = refusal.code;
            }
            return fate;
        }
        folder = &own;
    }

    RetryBudget budget;
    Entry entry;
    const bool opened = WithRetries(
        budget,
        [&] {
            entry.h = win::NtCreateFile(EntryAccess::Handle(*folder), name,
                                        win::kDelete | kLookAccess, kShareAll, kFileOptions);
            return entry.h != nullptr;
        },
        [&](win::DWORD) { return RefusedForGood(*folder, name); });
    if (!opened) {
        const win::DWORD error = win::GetLastError();
        win::FileInfo info;
        if (error == win::kErrorDeletePending) {
            // Deleted already, by this run's first pass or by someone else,
            // and held open by another program: the name goes when it lets
            // go. Nothing to wait for.
            fate.kind = FileFate::Kind::Removed;
            fate.pending = true;
        } else if (error == win::kErrorFileNotFound || error == win::kErrorPathNotFound ||
                   !Look(*folder, name, info)) {
            fate.why = "gone before it could be deleted";
        } else if (g_keeping && SameFile(info, g_kept)) {
            fate.why = "the log itself";
        } else if (info.attributes & win::kAttrDirectory) {
            fate.why = "a folder";
        } else if (loadedFont && error == win::kErrorSharingViolation) {
            // Windows keeps a font loaded from outside its fonts folder open
            // while any application uses it, and refuses every change to
            // the file meanwhile ("Font installation and deletion",
            // Microsoft Learn). No move is tried: it would be refused too.
            fate.why = "Windows still has it loaded as a font (an application is using it)";
            fate.code = error;
        } else {
            fate.why = moveAside ? "delete and move refused" : "delete refused";
            fate.code = error;
            // Held without FILE_SHARE_DELETE: the rename is refused as the delete is.
            if (moveAside) ReportLastError("MoveFile failed");
        }
        win::SetLastError(error);
        return fate;
    }
    // Its final path in the form its folder's was read in; its attributes
    // and identity only where they are needed (Wine asks its mount manager
    // for the volume's serial, a call between processes, for each record).
    FinalArea area;
    const std::u16string_view final = FinalPath(entry.h, area, EntryAccess::Form(*folder));
    if (final.empty()) {
        fate.why = "Windows cannot tell where it lies";
        fate.code = win::GetLastError();
        return fate;
    }
    bool known = false;
    const auto readInfo = [&] {
        if (!known) known = win::GetFileInformationByHandle(entry.h, &entry.info) != 0;
        fate.readOnly = known && (entry.info.attributes & win::kAttrReadOnly);
        return known;
    };
    if (!NamedThere(final, EntryAccess::Final(*folder), name, false) ||
        ((g_keeping || act == Act::Foretell) && !readInfo())) {
        fate.why =
            "it does not open as itself (a link Windows follows, or a name that opens "
            "another file)";
        return fate;
    }
    if (g_keeping && SameFile(entry.info, g_kept)) {
        fate.why = "the log itself";
        return fate;
    }
    // Another name of the same file may lie outside the plugin's folders.
    // Windows deletes and renames only the name the handle was opened by,
    // but Wine acts on a path string when it closes or renames, and can be
    // led from the Linux side to the other name: a file with more than one
    // name is left.
    win::DWORD links = 1;
    if (win::GetFileLinkCount(entry.h, &links) && links > 1) {
        fate.why = "it has more than one name (a hard link), and another may lie outside";
        return fate;
    }
    if (act == Act::Foretell) {
        fate.kind = !fate.readOnly ? FileFate::Kind::Removed
                    : moveAside    ? FileFate::Kind::MovedAside
                                   : FileFate::Kind::Left;
        if (fate.kind == FileFate::Kind::Left) fate.why = "read-only, Windows refuses its delete";
        return fate;
    }

    // The POSIX delete first, whose name goes at once even while a scanner
    // or a sync client holds the file; a volume that refuses it gets the
    // classic delete, whose name stays, unopenable, until the holder lets
    // go: the second pass then reads it as pending. Wine deletes at the
    // close, by path, and only while that path still leads to the open
    // file: a folder swapped meanwhile from the Linux side makes it keep the
    // file and report success.
    bool& classic = EntryAccess::ClassicDelete(*folder);
    const auto dispose = [&] {
        if (!classic) {
            if (win::SetFileDispositionByHandle(
                    entry.h, win::kDispositionDelete | win::kDispositionPosix) != 0)
                return true;
            const win::DWORD error = win::GetLastError();
            if (error != win::kErrorInvalidParameter && error != win::kErrorNotSupported)
                return false;
            classic = true;
        }
        return win::SetFileDispositionByHandle(entry.h, win::kDispositionDelete) != 0;
    };
    if (WithRetries(budget, dispose, [&](win::DWORD error) {
            return error == win::kErrorAccessDenied && readInfo() && fate.readOnly;
        })) {
        fate.kind = FileFate::Kind::Removed;
        return fate;
    }
    fate.code = win::GetLastError();
    fate.why = "delete refused";
    if (!moveAside || !entry.h) return fate;

    fate.why = "delete and move refused";
    if (path.size() >= win::kMaxPath) {
        ReportFailure("path too long");
        return fate;
    }
    if (!ShellAccepts([&](win::WCHAR* area) {
            if (!win::PathAppendW(area, path.c_str())) return false;
            if (win::PathRemoveFileSpecW(area)) return true;
            ReportLastError("PathRemoveFileSpec failed");
            return false;
        })) {
        fate.code = win::GetLastError();
        return fate;
    }
    // Windows documents that GetTempFileName fails for a folder of more than
    // MAX_PATH - 14 characters: the temporary name must still fit MAX_PATH.
    if (folderPath.size() > win::kMaxTempFolderLength) {
        win::SetLastError(win::kErrorBufferOverflow);
        ReportLastError("GetTempFileName failed");
        fate.code = win::kErrorBufferOverflow;
        return fate;
    }
    WideString taken;
    // Checked again just before: Wine renames by path, and would follow a
    // folder path that has come to lead elsewhere.
    if (NamedThere(FinalPath(entry.h, area, EntryAccess::Form(*folder)),
                   EntryAccess::Final(*folder), name, false) &&
        RenameAside(budget, *folder, entry, taken)) {
        // And after: the new name in the held folder must be the file that
        // was opened. Where it is not, the rename went elsewhere (Wine,
        // led by a path swapped from the Linux side): told as it is.
        win::FileInfo landed;
        if (!readInfo() || !Look(*folder, taken.c_str(), landed) || !SameFile(landed, entry.info)) {
            fate.why = "the move aside did not land in its folder";
            fate.code = 0;
            return fate;
        }
        fate.kind = FileFate::Kind::MovedAside;
        fate.movedTo = ExactJoin(WideString(folderPath), taken.c_str());
        return fate;
    }
    fate.code = win::GetLastError();
    ReportLastError(fate.code == win::kErrorFileExists ? "GetTempFileName failed"
                                                       : "MoveFile failed");
    return fate;
}

bool DeleteFileOrRename(WideString path, WideString* movedTo) {
    FileFate fate = RemoveFile(path, true);
    if (fate.kind == FileFate::Kind::MovedAside && movedTo) *movedTo = fate.movedTo;
    return fate.kind != FileFate::Kind::Left;
}

bool TryDeleteFile(WideString path) {
    return RemoveFile(path, false).kind == FileFate::Kind::Removed;
}

bool IsExistingFile(WideString path) {
    if (IsEmptyText(path)) return false;
    const win::DWORD a = win::GetFileAttributesW(path.c_str());
    return a != win::kInvalidFileAttributes && !(a & win::kAttrDirectory);
}

bool IsDirectory(WideString path) {
    if (IsEmptyText(path)) return false;
    const win::DWORD a = win::GetFileAttributesW(path.c_str());
    return a != win::kInvalidFileAttributes && (a & win::kAttrDirectory);
}

bool IsReadOnly(WideString path) {
    if (IsEmptyText(path)) return false;
    const win::DWORD a = win::GetFileAttributesW(path.c_str());
    return a != win::kInvalidFileAttributes && (a & win::kAttrReadOnly);
}

bool IsLink(WideString path) {
    // "link\" would be read through the link to its target.
    while (path.size() > 3 && path.back() == u'\\') path.pop_back();
    if (IsEmptyText(path)) return false;
    const win::DWORD a = win::GetFileAttributesW(path.c_str());
    if (a == win::kInvalidFileAttributes || !(a & win::kAttrReparsePoint)) return false;
    // The tag comes with a search for the entry's own path (no wildcard
    // can be in it: known folders are fully qualified and the suffixes fixed).
    win::FindData entry;
    win::FindHandle search = win::FindFirstFileW(path.c_str(), &entry);
    if (!search) return true;
    win::FindClose(search);
    // Wine 8 shows a Linux link to a folder with the attribute and tag 0.
    return LeadsElsewhere(win::kAttrReparsePoint, entry.reparseTag);
}

bool MoveFileReplacing(WideString destination, WideString source) {
    if (IsEmptyText(destination) || IsEmptyText(source)) return false;
    if (TextEquals(destination, source)) return true;
    return win::MoveFileExW(source.c_str(), destination.c_str(),
                            win::kMoveFileReplaceExisting | win::kMoveFileCopyAllowed) != 0;
}

bool OpenFileStream(std::fstream& stream, WideString path, bool forWriting, bool hidden) {
    if (IsEmptyText(path)) return false;
    if (forWriting) {
        win::OpenFileStreamW(stream, path.c_str(),
                             std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
        // Only a file this call opened is made hidden: re-attributing one that
        // refused the open would drop its read-only flag.
        if (hidden && stream.good()) win::SetFileAttributesW(path.c_str(), win::kAttrHidden);
    } else {
        win::OpenFileStreamW(stream, path.c_str(), std::ios::in | std::ios::binary);
    }
    if (stream.good()) stream.seekg(0);
    return stream.good();
}

bool EnsureFolder(WideString path, bool hidden) {
    if (IsEmptyText(path)) return false;
    if (IsDirectory(path)) return true;
    if (!win::CreateDirectoryW(path.c_str())) {
        ReportLastError("CreateDirectory failed");
        return false;
    }
    if (hidden && !win::SetFileAttributesW(path.c_str(), win::kAttrHidden)) {
        ReportLastError("SetFileAttributes failed");
        return false;
    }
    return true;
}

}  // namespace vx
