// Operations by path, for what the run makes or reads outside the walks:
// the plugin's own folders, the sample and test profiles, the log, the font
// table's file check. Each refuses an empty path before reaching the system
// and answers with a boolean; none throws. Nothing here removes a file the
// walks meet: that goes through the checked remove.
#pragma once

#include <fstream>

#include "paths/text.h"

namespace vx {

// Something exists there and it is not a folder.
bool IsExistingFile(WideString path);
bool IsDirectory(WideString path);
// It exists and carries the read-only attribute, so Windows refuses to
// delete or write it.
bool IsReadOnly(WideString path);
// Moves source over destination (replacing it, copying across volumes).
bool MoveFileReplacing(WideString destination, WideString source);
// Binary, no newline translation; for writing the file is created or emptied.
bool OpenFileStream(std::fstream& stream, WideString path, bool forWriting, bool hidden);
// The folder exists afterwards; a folder this call creates gets the hidden
// attribute when asked.
bool EnsureFolder(WideString path, bool hidden);

}  // namespace vx
