#include "paths/walker.h"

#include "fileops/failure.h"
#include "fileops/fileops.h"
#include "fileops/platform.h"
#include "paths/exact_path.h"

namespace vx {
namespace {

// Closes the search on every way out, an exception from the callback included.
struct SearchCloser {
    explicit SearchCloser(win::FindHandle h) : search(h) {}
    SearchCloser(const SearchCloser&) = delete;
    SearchCloser& operator=(const SearchCloser&) = delete;
    win::FindHandle search;
    ~SearchCloser() {
        if (search) win::FindClose(search);
    }
};

}  // namespace

void WalkDirectory(WideString folder, EntryCallback callback, void* context) {
    // An empty folder must never become "*", the process's current folder.
    if (folder.empty()) return;
    // A junction or link leads elsewhere: whatever lies there is not the
    // plugin's to empty.
    if (IsLink(folder)) return;

    // The shell sets the limits of every join; the paths used are the exact
    // joins, so that no entry's name can lead outside the folder.
    char16_t area[win::kMaxPath] = {};
    const WideString pattern = ExactJoin(folder, u"*");
    if (!win::PathCombineW(area, folder.c_str(), u"*") || pattern.empty()) {
        ReportLastError("PathCombine failed");
        return;
    }

    win::FindData entry;
    SearchCloser closer{win::FindFirstFileW(pattern.c_str(), &entry)};
    win::FindHandle search = closer.search;
    if (search) {
        do {
            if (entry.attributes & win::kAttrDirectory) continue;
            // A name the file-system calls would read as another one stays
            // untouched rather than stand for that other file.
            if (!NamesItselfExactly(entry.fileName)) continue;
            char16_t full[win::kMaxPath] = {};
            WideString path = ExactJoin(folder, entry.fileName);
            if (!win::PathCombineW(full, folder.c_str(), entry.fileName) || path.empty()) {
                ReportLastError("PathCombine failed");
                continue;
            }
            if (!callback(context, std::move(path))) break;
        } while (win::FindNextFileW(search, &entry));
    }

    if (win::GetLastError() != win::kErrorNoMoreFiles) ReportFailure("error walking dir");
}

}  // namespace vx
