// The floor for the run's design, for the benchmark: exactly the calls the
// design makes per file and nothing else. For a font folder a listing step,
// an attribute query, one font-table removal and a delete per file; for a
// delete-walked folder a listing step and a delete.
// Usage: bench_floor font:FOLDER | delete:FOLDER ...
#include <string>

#include "fileops/platform.h"

int main(int argc, char** argv) {
    using namespace vx::win;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool fonts = arg.rfind("font:", 0) == 0;
        const std::u16string folder(arg.begin() + static_cast<long>(arg.find(':')) + 1, arg.end());
        FindData entry;
        FindHandle h = FindFirstFileW((folder + u"\\*").c_str(), &entry);
        if (!h) continue;
        std::u16string path;
        do {
            if (entry.attributes & kAttrDirectory) continue;
            path.assign(folder).append(1, u'\\').append(entry.fileName);
            if (fonts) {
                GetFileAttributesW(path.c_str());
                RemoveFontResourceExW(path.c_str(), 0);
            }
            DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &entry));
        FindClose(h);
    }
    return 0;
}
