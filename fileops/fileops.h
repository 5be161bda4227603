// Deleting, moving, creating and re-attributing files and folders. Every
// operation refuses an empty path before reaching the system and answers
// with a boolean; none throws.
#pragma once

#include <fstream>

#include "paths/text.h"

namespace vx {

// Deletes the file or, when Windows refuses, moves it to a fresh "del"
// temporary name in its own folder. True when the name is free.
// Both try again, briefly, when something holds the file for a moment.
// movedTo, when given, receives the temporary name a moved file took.
bool DeleteFileOrRename(WideString path, WideString* movedTo = nullptr);
bool TryDeleteFile(WideString path);
// Gives a new run the whole of its waiting time for retries.
void ResetRetryBudget();
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
