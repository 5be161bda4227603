// Heap allocations per file of the two walks, counted by replacing the
// global allocator, in either build (the benchmark runs it natively and
// under Wine). Lays out N font files and N other files in a scratch folder
// given as a Windows path, then empties it as the run would. With ceilings,
// it fails when a walk allocates more per file than its ceiling.
// Usage: alloc_count FOLDER N [FONT-CEILING DELETE-CEILING]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "context/params.h"
#include "context/plugin_context.h"
#include "fileops/path_ops.h"
#include "paths/walker.h"
#include "uninstall/cleanup.h"

namespace {
long g_allocations = 0;
}

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) return 2;
    const double ceilings[] = {argc == 5 ? std::atof(argv[3]) : 1e9,
                               argc == 5 ? std::atof(argv[4]) : 1e9};
    int status = 0;
    const std::string arg = argv[1];
    const vx::WideString folder(arg.begin(), arg.end());
    const int n = std::atoi(argv[2]);
    vx::EnsureFolder(folder, false);
    vx::VXPluginContext context{vx::VXContextParams{}};
    // What an earlier, cut-short run left would count as this run's files.
    vx::WalkDirectory(folder, vx::DeleteEntryCallback, &context);
    for (const char* kind : {"font", "other"}) {
        const bool fonts = kind[0] == 'f';
        for (int i = 0; i < n; ++i) {
            std::fstream f;
            const std::string name = "file" + std::to_string(i) + (fonts ? ".otf" : ".bin");
            vx::OpenFileStream(f, folder + u"\\" + vx::WideString(name.begin(), name.end()), true,
                               false);
        }
        const long before = g_allocations;
        if (fonts)
            vx::CleanFontFolder(&context, folder);
        else
            vx::WalkDirectory(folder, vx::DeleteEntryCallback, &context);
        const double perFile = static_cast<double>(g_allocations - before) / n;
        // The search's own few allocations, spread over the files, stay
        // below a twentieth of one.
        const bool over = perFile > ceilings[fonts ? 0 : 1] + 0.05;
        std::printf("%s walk: %.2f allocations per file%s\n", fonts ? "font" : "delete", perFile,
                    over ? ", over the ceiling" : "");
        if (over) status = 1;
    }
    return status;
}
