// Deleting, moving, creating and re-attributing files and folders. Every
// operation refuses an empty path before reaching the system and answers
// with a boolean; none throws.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

#include "fileops/platform.h"

#include "paths/text.h"

namespace vx {

// A folder the run acts in: opened without following a link, checked to be
// a folder that is no link (Wine shows a link as its target, so also that
// its final path is its parent's plus its own name), and held, without
// FILE_SHARE_DELETE, so that it cannot be renamed, deleted or replaced
// while it is open. A folder or file opened by the name of an entry of a
// held folder is opened relative to it, whatever its path now leads to; the
// folders above the first one held are the user's to place and are opened
// by path.
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
    // As a walk's log tells it: "not walked: ..." with the code, if any.
    std::string Text() const;
};

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

private:
    friend struct EntryAccess;
    // The folder alone, in its parent if that is held, else by path.
    bool OpenOne(const WideString& own, FolderRefusal* refusal);
    win::FileHandle handle_ = nullptr;
    WideString path_, finalPath_;
    // The form of GetFinalPathNameByHandleW its final path is in; its
    // files are compared with it in the same form.
    win::DWORD finalForm_ = win::kFileNameNormalized;
    // Its volume refused the POSIX delete: its files get the classic one.
    mutable bool classicDelete_ = false;
    HeldFolder* outer_ = nullptr;
};

// What became of a file the run meant to remove.
struct FileFate {
    enum class Kind { Removed, MovedAside, Left } kind = Kind::Left;
    // Left: why, as the log tells it, and for a refusal its code.
    const char* why = "";
    win::DWORD code = 0;
    WideString movedTo;     // MovedAside: the name it took in its folder
    bool readOnly = false;  // what a foretelling run finds
    // Removed earlier: its delete is pending until another program that
    // holds it lets go, and its name is still listed meanwhile.
    bool pending = false;
};

// Whether a run acts or only foretells what it would do (update mode with a
// log): a foretelling run opens and checks each file as an acting one does.
enum class Act { Do, Foretell };

// Removes a file found in a folder, acting only through a handle opened in
// that folder without following a link and checked to be that very entry: a
// plain file (or, where the system opens it as itself, a link), whose final
// path is its folder's plus its name, and not the file the run keeps (its
// log). With moveAside, a file Windows refuses to delete is renamed in its
// own folder to a free "del" temporary name. Tries again, briefly, when
// something holds the file for a moment.
// loadedFont: a font the font table has just let go of; a refusal with a
// sharing violation then means that Windows still has it loaded.
FileFate RemoveFile(const WideString& path, bool moveAside, Act act = Act::Do,
                    bool loadedFont = false);

// RemoveFile that says whether the name is free. movedTo, when given,
// receives the temporary name a moved file took.
bool DeleteFileOrRename(WideString path, WideString* movedTo = nullptr);
bool TryDeleteFile(WideString path);
// The file no walk may remove, whatever spelling names it (the log's own);
// an empty path forgets it.
void KeepFile(const WideString& path);
// Gives a new run the whole of its waiting time for retries.
void ResetRetryBudget();
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
// Something exists there and it is not a folder.
bool IsExistingFile(WideString path);
bool IsDirectory(WideString path);
// It exists and carries the read-only attribute, so Windows refuses to
// delete or write it.
bool IsReadOnly(WideString path);
// A junction, symbolic link or other link: its contents lie elsewhere. A
// reparse point is a link when its tag is a name surrogate, or when nothing
// tells it apart from one (tag 0, or none to be read); any other tag (a
// cloud-sync placeholder, a projected folder) is the folder itself.
bool IsLink(WideString path);
// Moves source over destination (replacing it, copying across volumes).
bool MoveFileReplacing(WideString destination, WideString source);
// Binary, no newline translation; for writing the file is created or emptied.
bool OpenFileStream(std::fstream& stream, WideString path, bool forWriting, bool hidden);
// The folder exists afterwards; a folder this call creates gets the hidden
// attribute when asked.
bool EnsureFolder(WideString path, bool hidden);

}  // namespace vx
