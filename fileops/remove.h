// The checked remove: a file found in a held folder is opened there, checked
// to be that very entry, and deleted through the handle, or moved aside under
// a free "del" temporary name when Windows refuses its delete; what became
// of it is its fate. The file the run keeps (its log) is never removed.
#pragma once

#include "fileops/platform.h"
#include "paths/text.h"

namespace vx {

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
// plain file (or, where the system opens it as itself, a link) with one
// name, whose final path is its folder's plus its name, and not the file the
// run keeps. With moveAside, a file Windows refuses to delete is renamed in
// its own folder to a free "del" temporary name. Tries again, briefly, when
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

}  // namespace vx
