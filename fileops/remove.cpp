// The checked remove and its move aside.
#include "fileops/remove.h"

#include "fileops/failure.h"
#include "fileops/held_folder.h"
#include "fileops/retry.h"

namespace vx {
namespace {

bool g_keeping = false;
win::FileInfo g_kept;

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

// What name in the folder is, looked at without asking for delete access
// (which the log's own handle refuses); the last error stays as it was.
bool Look(const HeldFolder& folder, const char16_t* name, win::FileInfo& info) {
    const win::DWORD error = win::GetLastError();
    Entry look;
    look.h = win::NtCreateFile(folder.handle(), name, kLookAccess, kShareAll, kLookOptions);
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
                    return win::RenameByHandle(entry.h, folder.handle(), taken.c_str(), 0) != 0;
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
            entry.h = win::NtCreateFile(folder->handle(), name, win::kDelete | kLookAccess,
                                        kShareAll, kFileOptions);
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
    const std::u16string_view final = FinalPath(entry.h, area, folder->finalForm());
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
    if (!NamedThere(final, folder->finalPath(), name, false) ||
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
    bool& classic = folder->classicDelete();
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
    // The shell's own form of its folder, as the move aside has always
    // made it: its MAX_PATH limits and failures decide, and are reported.
    win::WCHAR shellForm[win::kMaxPath] = {};
    if (!win::PathAppendW(shellForm, path.c_str())) {
        fate.code = win::GetLastError();
        return fate;
    }
    if (!win::PathRemoveFileSpecW(shellForm)) {
        ReportLastError("PathRemoveFileSpec failed");
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
    if (NamedThere(FinalPath(entry.h, area, folder->finalForm()), folder->finalPath(), name,
                   false) &&
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
        fate.movedTo = path.substr(0, at) + taken;
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

}  // namespace vx
