// File and folder operations over the doorway: deletes with bounded
// retries, the move aside under a temporary name, folders and attributes.
#include "fileops/fileops.h"

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

enum class ReadOnlyRefuses { No, Yes };

// Calls attempt until it succeeds or its failure is not one that waiting
// can end; the last error is the last attempt's.
template <class Attempt>
bool WithRetries(RetryBudget& budget, const WideString& path, ReadOnlyRefuses readOnly,
                 Attempt attempt) {
    if (attempt()) return true;
    for (const win::DWORD wait : kRetryWaitsMs) {
        const win::DWORD error = win::GetLastError();
        if (error != win::kErrorSharingViolation && error != win::kErrorAccessDenied) return false;
        if (wait > budget.leftMs || wait > g_runRetryLeftMs) return false;
        // A read-only file refuses its delete for good.
        if (error == win::kErrorAccessDenied && readOnly == ReadOnlyRefuses::Yes) {
            const bool refusesForGood = IsReadOnly(path);
            win::SetLastError(error);
            if (refusesForGood) return false;
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

bool DeleteWithRetries(RetryBudget& budget, const WideString& path, ReadOnlyRefuses readOnly) {
    return WithRetries(budget, path, readOnly, [&] { return win::DeleteFileW(path.c_str()) != 0; });
}

}  // namespace

void ResetRetryBudget() { g_runRetryLeftMs = kRunRetryMs; }

bool DeleteFileOrRename(WideString path, WideString* movedTo) {
    if (IsEmptyText(path)) return false;
    RetryBudget budget;
    if (DeleteWithRetries(budget, path, ReadOnlyRefuses::Yes)) return true;
    if (!IsExistingFile(path)) return false;
    if (path.size() >= win::kMaxPath) {
        ReportFailure("path too long");
        return false;
    }

    if (!ShellAccepts([&](win::WCHAR* area) {
            if (!win::PathAppendW(area, path.c_str())) return false;
            if (win::PathRemoveFileSpecW(area)) return true;
            ReportLastError("PathRemoveFileSpec failed");
            return false;
        }))
        return false;
    // The temporary name goes beside the file.
    const WideString folder = ExactParent(path);

    // Windows documents that GetTempFileName fails for a folder of more than
    // MAX_PATH - 14 characters; Wine does not check, and then writes a
    // garbled name, or past the area. The program never asks.
    if (folder.size() > win::kMaxTempFolderLength) {
        win::SetLastError(win::kErrorBufferOverflow);
        ReportLastError("GetTempFileName failed");
        return false;
    }
    char16_t tempName[win::kMaxPath] = {};
    if (folder.empty() || !win::GetTempFileNameW(folder.c_str(), u"del", 0, tempName)) {
        ReportLastError("GetTempFileName failed");
        return false;
    }
    // The system created the temporary file: the font replaces it. Deleting
    // it first would fail while a scanner holds the new file, and on some
    // file systems its name stays taken while any handle is open.
    const WideString temp = tempName;
    if (WithRetries(budget, temp, ReadOnlyRefuses::No, [&] {
            return win::MoveFileExW(path.c_str(), tempName, win::kMoveFileReplaceExisting) != 0;
        })) {
        if (movedTo) *movedTo = temp;
        return true;
    }
    ReportLastError("MoveFile failed");
    // No empty temporary file may stay: in a font folder nothing removes it.
    if (!DeleteWithRetries(budget, temp, ReadOnlyRefuses::No))
        ReportLastError("DeleteFile failed on the tmp file path");
    return false;
}

bool TryDeleteFile(WideString path) {
    if (IsEmptyText(path)) return false;
    RetryBudget budget;
    return DeleteWithRetries(budget, path, ReadOnlyRefuses::Yes);
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
    return entry.reparseTag == 0 || (entry.reparseTag & win::kReparseTagNameSurrogate);
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
