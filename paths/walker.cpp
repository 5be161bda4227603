#include "paths/walker.h"

#include "fileops/failure.h"
#include "fileops/platform.h"

namespace vx {
namespace {

// Closes the search on every way out, an exception from the callback included.
struct SearchCloser {
    win::FindHandle search;
    ~SearchCloser() {
        if (search) win::FindClose(search);
    }
};

}  // namespace

void WalkDirectory(WideString folder, EntryCallback callback, void* context) {
    // An empty folder must never become "*", the process's current folder.
    if (folder.empty()) return;

    char16_t pattern[win::kMaxPath] = {};
    if (!win::PathCombineW(pattern, folder.c_str(), u"*")) {
        ReportLastError("PathCombine failed");
        return;
    }

    win::FindData entry;
    SearchCloser closer{win::FindFirstFileW(pattern, &entry)};
    win::FindHandle search = closer.search;
    if (search) {
        do {
            if (entry.attributes & win::kAttrDirectory) continue;
            char16_t full[win::kMaxPath] = {};
            if (!win::PathCombineW(full, folder.c_str(), entry.fileName)) {
                ReportLastError("PathCombine failed");
                continue;
            }
            if (!callback(context, WideString(full))) break;
        } while (win::FindNextFileW(search, &entry));
    }

    if (win::GetLastError() != win::kErrorNoMoreFiles) ReportFailure("error walking dir");
}

}  // namespace vx
