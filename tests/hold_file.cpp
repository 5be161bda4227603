// Holds files open the way another program would, until told to let go: for
// each HOW:PATH it opens PATH with the sharing HOW names ("none", "read",
// "read-delete"; a "+map" suffix also maps a view of it and then closes the
// file handle, so that only the view holds it). When all are held it creates
// RELEASE.ready, and it lets go once RELEASE exists.
// Usage: hold_file RELEASE HOW:PATH...
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring Wide(const char* s) {
    std::wstring out(MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::wstring release = Wide(argv[1]);
    std::vector<HANDLE> handles;
    std::vector<void*> views;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto colon = arg.find(':');
        const std::string how = arg.substr(0, colon);
        const std::wstring path = Wide(arg.c_str() + colon + 1);
        const DWORD share = how.rfind("none", 0) == 0          ? 0
                            : how.rfind("read-delete", 0) == 0 ? FILE_SHARE_READ | FILE_SHARE_DELETE
                                                               : FILE_SHARE_READ;
        HANDLE h =
            CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 3;
        if (how.find("+map") != std::string::npos) {
            HANDLE m = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
            void* view = m ? MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0) : nullptr;
            if (!view) return 4;
            views.push_back(view);
            CloseHandle(m);
            CloseHandle(h);
        } else {
            handles.push_back(h);
        }
    }
    CloseHandle(CreateFileW((release + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                            nullptr));
    for (int waited = 0;
         GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 6000; ++waited)
        Sleep(20);
    for (void* v : views) UnmapViewOfFile(v);
    for (HANDLE h : handles) CloseHandle(h);
    return 0;
}
