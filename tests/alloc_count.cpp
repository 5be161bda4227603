// Heap allocations per file of the two walks, counted by replacing the
// global allocator, in either build (the benchmark runs it natively and
// under Wine). Lays out N font files and N other files in a scratch folder
// given as a Windows path, then empties it as the run would.
// Usage: alloc_count FOLDER N
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "context/params.h"
#include "context/plugin_context.h"
#include "fileops/fileops.h"
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
    if (argc != 3) return 2;
    const std::string arg = argv[1];
    const vx::WideString folder(arg.begin(), arg.end());
    const int n = std::atoi(argv[2]);
    vx::EnsureFolder(folder, false);
    vx::VXPluginContext context{vx::VXContextParams{}};
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
        std::printf("%s walk: %.2f allocations per file\n", fonts ? "font" : "delete",
                    static_cast<double>(g_allocations - before) / n);
    }
    return 0;
}
