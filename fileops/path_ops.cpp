// The operations by path.
#include "fileops/path_ops.h"

#include "fileops/failure.h"
#include "fileops/platform.h"

namespace vx {

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
