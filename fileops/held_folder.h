// The folders the run acts in, held while it acts, and the checks that say
// whether what was opened is what was meant: the link rule, the final-path
// comparison and a file's identity. Elevated, the run also holds each folder
// from a known folder down, and none may be a link.
#pragma once

#include <string>
#include <string_view>

#include "fileops/platform.h"
#include "paths/text.h"

namespace vx {

// How the run opens what lies in a held folder. Nothing follows a link at
// its last part; a look asks for no delete access (which the log's own
// handle refuses).
inline constexpr win::DWORD kShareAll =
    win::kFileShareRead | win::kFileShareWrite | win::kFileShareDelete;
inline constexpr win::DWORD kLookAccess = win::kFileReadAttributes | win::kSynchronize;
inline constexpr win::DWORD kLookOptions =
    win::kFileOpenReparsePoint | win::kFileSynchronousIoNonalert;
inline constexpr win::DWORD kFileOptions =
    win::kFileNonDirectoryFile | win::kFileOpenReparsePoint | win::kFileSynchronousIoNonalert;

// Why a folder could not be held; kind None when it (or its parent) is
// missing, which each walk tells as missing.
struct FolderRefusal {
    enum class Kind {
        None,
        Link,        // a link, or no longer the folder it was
        NotAFolder,  // it does not open as a folder
        Held,        // another program has it open to move or delete it
        NoFinalPath  // Windows cannot tell where it lies
    } kind = Kind::None;
    win::DWORD code = 0;
    // Set when the folder refused is one above the one asked for (an
    // elevated run refuses a link anywhere below a known folder).
    WideString above;
    // The reason, with the code if any; Text() as a walk's log tells it,
    // "not walked: " and the reason.
    std::string Why() const;
    std::string Text() const;
};

// A folder the run acts in: opened without following a link, checked to be
// a folder that is no link (Wine shows a link as its target, so also that
// its final path is its parent's plus its own name), and held, without
// FILE_SHARE_DELETE, so that it cannot be renamed, deleted or replaced
// while it is open. A folder or file opened by the name of an entry of a
// held folder is opened relative to it, whatever its path now leads to; the
// folders above the first one held are the user's to place and are opened
// by path. Opening is the one place that answers "is this folder a link, or
// no longer the folder that was checked?".
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // False when it does not open as that folder; then refusal says why.
    bool Open(const WideString& path, FolderRefusal* refusal = nullptr);
    bool IsOpen() const { return handle_ != nullptr; }

    // The innermost held folder whose path is exactly folder, or null.
    static HeldFolder* Find(std::u16string_view folder);

    win::FileHandle handle() const { return handle_; }
    // Its final path, in the form of GetFinalPathNameByHandleW its files are
    // compared in.
    std::u16string_view finalPath() const { return finalPath_; }
    win::DWORD finalForm() const { return finalForm_; }
    // Its volume refused the POSIX delete: its files get the classic one.
    bool& classicDelete() const { return classicDelete_; }

private:
    // The folder alone, in its parent if that is held, else by path.
    bool OpenOne(const WideString& own, FolderRefusal* refusal);
    win::FileHandle handle_ = nullptr;
    WideString path_, finalPath_;
    win::DWORD finalForm_ = win::kFileNameNormalized;
    mutable bool classicDelete_ = false;
    HeldFolder* outer_ = nullptr;
};

// Starts a run: notes whether its token is elevated and, if it is, asks
// Windows, where it offers that, to follow no junction an ordinary user
// made. Windows binds whichever process asks, so an unelevated run does not:
// it follows the user's own junctions (a folder moved to another disk).
void NoteTokenElevation();
bool TokenElevated();
// A folder the user's settings place (a known folder). An elevated run
// follows no link below it, down to the folders it acts in: any process of
// the same user, unelevated, could have planted one. An unelevated run
// follows the user's links above the first folder it holds.
void TrustFolder(const WideString& knownFolder);

// A handle's final path in form, in area; empty when it cannot be had, with
// the last error saying why.
using FinalArea = win::WCHAR[2 * win::kMaxPath];
std::u16string_view FinalPath(win::FileHandle h, FinalArea& area, win::DWORD form);

// Whether something opened as name in a folder whose final path is
// folderFinal really lies there under that name. Wine opens a link's target
// and, for a name that matches no file exactly, the first that matches in
// another case; both show in the final path. A folder's name comes from the
// program and may differ in case from the disk's; a file's is the listed one.
bool NamedThere(std::u16string_view final, std::u16string_view folderFinal,
                std::u16string_view name, bool anyCase);

// One file, whatever spelling names it. The 128-bit identifier where both
// have it (the 64-bit index is not unique on ReFS); an identity of 0 is
// unknown, and never the same as another.
bool SameFile(const win::FileInfo& a, const win::FileInfo& b);

// Where path's last part begins, past its folder's backslash; 0 when path
// has no folder part or no last part.
std::size_t NameStart(const WideString& path);

}  // namespace vx
