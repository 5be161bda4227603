// The font table and the window broadcast, as in-process models: a table
// of added font files (public ones kept for the session in a file named by
// VXEMU_FONT_TABLE), and broadcasts written to VXEMU_BROADCAST_LOG.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <tuple>

#include "fileops/emulation/emulation.h"

namespace vx::win::emu {

namespace {

struct FontKey {
    std::u16string path;
    bool priv;
    bool operator<(const FontKey& o) const {
        return std::tie(path, priv) < std::tie(o.path, o.priv);
    }
};

std::map<FontKey, int>& FontTable() {
    static std::map<FontKey, int> table;
    return table;
}

// Public fonts outlive the process that added them, until the session
// ends. A session is modelled by a file named in VXEMU_FONT_TABLE; without
// one, the table lives as long as the process.
const char* SessionFontFile() {
    const char* f = std::getenv("VXEMU_FONT_TABLE");
    return f && *f ? f : nullptr;
}

void LoadSessionFonts() {
    const char* file = SessionFontFile();
    if (!file) return;
    auto& table = FontTable();
    for (auto it = table.begin(); it != table.end();)
        it = it->first.priv ? std::next(it) : table.erase(it);
    std::FILE* f = std::fopen(file, "r");
    if (!f) return;
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        char* tab = std::strchr(line, '\t');
        if (!tab) continue;
        std::string path(tab + 1);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        table[{FromUtf8(path.data(), path.size()), false}] = std::atoi(line);
    }
    std::fclose(f);
}

void SaveSessionFonts() {
    const char* file = SessionFontFile();
    if (!file) return;
    std::FILE* f = std::fopen(file, "w");
    if (!f) return;
    for (const auto& [key, count] : FontTable())
        if (!key.priv)
            std::fprintf(f, "%d\t%s\n", count, ToUtf8(key.path.data(), key.path.size()).c_str());
    std::fclose(f);
}

bool LooksLikeFont(const std::string& host) {
    std::FILE* f = std::fopen(host.c_str(), "rb");
    if (!f) return false;
    unsigned char m[4] = {};
    std::size_t got = std::fread(m, 1, 4, f);
    std::fclose(f);
    if (got != 4) return false;
    return (m[0] == 0 && m[1] == 1 && m[2] == 0 && m[3] == 0) || !std::memcmp(m, "OTTO", 4) ||
           !std::memcmp(m, "true", 4) || !std::memcmp(m, "ttcf", 4);
}

}  // namespace

}  // namespace vx::win::emu

namespace vx::win::backend {

using namespace emu;

int AddFontResourceExW(const WCHAR* path, DWORD flags) {
    std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        Fail(kErrorFileNotFound);
        return 0;
    }
    if (!LooksLikeFont(host)) return 0;
    const bool priv = (flags & kFrPrivate) != 0;
    if (!priv) LoadSessionFonts();
    ++FontTable()[{FoldCase(path), priv}];
    if (!priv) SaveSessionFonts();
    return 1;
}

BOOL RemoveFontResourceExW(const WCHAR* path, DWORD flags) {
    if (!path) return 0;
    const bool priv = (flags & kFrPrivate) != 0;
    if (!priv) LoadSessionFonts();
    auto it = FontTable().find({FoldCase(path), priv});
    if (it == FontTable().end() || it->second == 0) return 0;
    if (--it->second == 0) FontTable().erase(it);
    if (!priv) SaveSessionFonts();
    return 1;
}

BOOL SendNotifyMessageW(std::uintptr_t hwnd, UINT msg, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (const char* log = std::getenv("VXEMU_BROADCAST_LOG"); log && *log) {
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "hwnd=0x%lx msg=0x%x wparam=%lu lparam=%ld\n",
                         static_cast<unsigned long>(hwnd), msg, static_cast<unsigned long>(wParam),
                         static_cast<long>(lParam));
            std::fclose(f);
        }
    }
    return 1;
}

}  // namespace vx::win::backend
