// The one-level folder walk, the link check it makes first, and the
// observer that tells the log what a walk left.
#include "paths/walker.h"

#include "fileops/failure.h"
#include "fileops/held_folder.h"
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

void Skipped(const WideString& folder, const char16_t* name, WalkSkip what, const char* why) {
    if (g_walkObserver) g_walkObserver(folder, name, what, why);
}

}  // namespace

WalkObserver g_walkObserver = nullptr;

void WalkDirectory(WideString folder, EntryCallback callback, void* context) {
    // An empty folder must never become "*", the process's current folder.
    if (folder.empty()) return;
    // Held while the walk goes on: its files are opened in it, and nobody
    // can swap it for a link meanwhile. A junction or link leads elsewhere,
    // and whatever lies there is not the plugin's to empty: holding refuses
    // it. One that cannot be opened at all is searched as before, which
    // tells why; any file it lists is left.
    HeldFolder held;
    FolderRefusal refusal;
    if (!HeldFolder::Find(folder) && !held.Open(folder, &refusal) &&
        refusal.kind != FolderRefusal::Kind::None) {
        Skipped(folder, nullptr, WalkSkip::Folder, refusal.Text().c_str());
        return;
    }

    const WideString pattern = ExactJoin(folder, u"*");
    if (!ShellAccepts([&](win::WCHAR* area) {
            return win::PathCombineW(area, folder.c_str(), u"*") != nullptr;
        }) ||
        pattern.empty()) {
        ReportLastError("PathCombine failed");
        return;
    }

    win::FindData entry;
    SearchCloser closer{win::FindFirstFileW(pattern.c_str(), &entry)};
    win::FindHandle search = closer.search;
    if (search) {
        do {
            if (entry.attributes & win::kAttrDirectory) {
                if (g_walkObserver && std::u16string_view(entry.fileName) != u"." &&
                    std::u16string_view(entry.fileName) != u"..")
                    Skipped(folder, entry.fileName, WalkSkip::Subfolder,
                            "a subfolder (walks never go down)");
                continue;
            }
            // A name the file-system calls would read as another one stays
            // untouched rather than stand for that other file.
            if (!NamesItselfExactly(entry.fileName)) {
                Skipped(folder, entry.fileName, WalkSkip::File,
                        "a name Win32 cannot address exactly");
                continue;
            }
            WideString path = ExactJoin(folder, entry.fileName);
            if (!ShellAccepts([&](win::WCHAR* full) {
                    return win::PathCombineW(full, folder.c_str(), entry.fileName) != nullptr;
                }) ||
                path.empty()) {
                ReportLastError("PathCombine failed");
                Skipped(folder, entry.fileName, WalkSkip::File, "path too long");
                continue;
            }
            if (!callback(context, std::move(path))) break;
        } while (win::FindNextFileW(search, &entry));
    }

    const win::DWORD error = win::GetLastError();
    if (error != win::kErrorNoMoreFiles) ReportFailure("error walking dir");
    if (!search && g_walkObserver)
        Skipped(folder, nullptr, WalkSkip::Folder,
                error == win::kErrorFileNotFound || error == win::kErrorPathNotFound
                    ? "not walked: missing"
                    : "not walked: it cannot be listed");
}

}  // namespace vx
