// Paths as the file-system calls read them. The shell's path functions
// canonicalise what they join, and read a part that merely begins with two
// dots ("..keep", "...json") as a step up to the parent folder (measured
// under Wine, whose shell code is meant to match Windows); the file-system
// calls take only whole "." and ".." parts as steps. So the program asks the
// shell for its joins (and their MAX_PATH limits), but acts on the join that
// names exactly the entry it means (ShellAccepts, below).
#pragma once

#include "fileops/platform.h"
#include "paths/text.h"

namespace vx {

// Whether the shell accepts a path the program composes: shellForm makes the
// shell's own form of it in a MAX_PATH area and says whether that succeeded.
// Both forms are made on purpose. The shell's decides, as it always has,
// which paths are too long and which joins fail (and sets the last error
// for the report); the exact form (ExactJoin, ExactParent) is the one acted
// on, since the shell's would turn a name beginning with ".." into a step up.
template <class ShellForm>
bool ShellAccepts(ShellForm shellForm) {
    win::WCHAR area[win::kMaxPath] = {};
    return shellForm(area);
}

// folder, one backslash, part (its leading backslashes dropped); empty when
// the result would not fit a MAX_PATH area, or when part is not one name of
// that folder: it holds a separator (one trailing backslash aside, which
// marks a folder) or is "." or "..".
WideString ExactJoin(const WideString& folder, const char16_t* part);

// The folder that holds path's last part, cut at its last backslash (the
// root's backslash stays: "C:\x" -> "C:\"); empty when there is none.
WideString ExactParent(const WideString& path);

// False for a name the file-system calls would read as another name: they
// drop the dots and spaces that end a path, so "x.ttf " and "x.ttf." both
// name "x.ttf"; and they read "\" and "/" in a name as separators, so a
// name that holds one (Linux allows it, and Wine lists it as it is) names
// another folder's entry.
bool NamesItselfExactly(const char16_t* name);

// True for a path that names the same folder from wherever the process
// runs: "X:\...", "\\server\share...", or either behind "\\?\". Not a
// relative path, "C:" or "C:x" (the drive's current folder), "\x" (the
// current drive's root), "\\server" alone, a device path, or a text with a
// control character or one of *?"<>| in it.
bool IsFullyQualified(std::u16string_view path);

}  // namespace vx
