// Lays out a sample installation of the plugin in the current user's profile,
// with the program's own operations: folders, fonts registered as public
// fonts, a read-only font Windows cannot delete, temporary and other files,
// subfolders, and files outside the plugin's folders that must survive.
// Usage: make_sample_profile [font file to copy]
//        make_sample_profile --count-registered
//        make_sample_profile --fonts N FONT-FILE | --count-fonts N
// The second form prints how many of the sample's fonts the font table still
// holds as public fonts (taking each out as it counts it) and changes nothing
// else.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "context/plugin_context.h"
#include "fileops/path_ops.h"
#include "fileops/platform.h"
#include "fonts/fonts.h"
#include "paths/file_names.h"
#include "paths/known_folders.h"
#include "tests/test_support.h"

namespace {

using vx::WideString;

// Creates every missing folder along the path, below the known folder root.
bool MakeFolders(const WideString& path) {
    for (std::size_t at = 3; at <= path.size(); ++at)
        if (at == path.size() || path[at] == u'\\')
            if (!vx::EnsureFolder(path.substr(0, at), false)) return false;
    return true;
}

bool Write(const WideString& folder, const std::string& name, const std::string& bytes) {
    std::fstream out;
    if (!MakeFolders(folder)) return false;
    if (!vx::OpenFileStream(out, vx::JoinUtf8Name(folder, name), true, false)) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

WideString Parent(const WideString& path) { return path.substr(0, path.rfind(u'\\')); }

}  // namespace

const char* const kFontNames[] = {"Brimlet Sans.otf", "BrimletMono", "Pinned.otf"};

int CountRegistered(const WideString& roaming, const WideString& local) {
    int count = 0;
    for (const WideString& plugin : {roaming, local})
        for (const char* name : kFontNames)
            count += vx::win::RemoveFontResourceExW(vx::JoinUtf8Name(plugin + u"\\r", name).c_str(),
                                                    0) != 0;
    std::printf("%d\n", count);
    return 0;
}

// N fonts of families of their own in the roaming "r" folder, registered
// publicly (--fonts), or how many of them the font table still holds,
// taking each out as it counts it (--count-fonts).
int ManyFonts(int n, const char* fontFile, bool count) {
    const WideString r = vx::RoamingPluginDir() + u"\\r";
    vx::VXContextParams params;
    params.fontRegistrationMode = 2;
    vx::VXPluginContext context(params);
    std::string font;
    if (fontFile) {
        std::ifstream in(fontFile, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        font = s.str();
    }
    int held = 0;
    for (int i = 0; i < n; ++i) {
        const WideString path = vx::JoinUtf8Name(r, "font" + std::to_string(i) + ".otf");
        if (count)
            held += vx::win::RemoveFontResourceExW(path.c_str(), 0) != 0;
        else
            held +=
                Write(r, "font" + std::to_string(i) + ".otf", vx::test::RenameFontFamily(font)) &&
                vx::RegisterFontFile(&context, path, 2);
    }
    std::printf("%d\n", held);
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--count-registered")
        return CountRegistered(vx::RoamingPluginDir(), vx::LocalPluginDir());
    if (argc > 2 && (std::string(argv[1]) == "--fonts" || std::string(argv[1]) == "--count-fonts"))
        return ManyFonts(std::atoi(argv[2]), argc > 3 ? argv[3] : nullptr, argv[1][2] == 'c');
    std::string font = std::string("\x00\x01\x00\x00", 4) + "sample font";
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        if (!s.str().empty()) font = s.str();
    }

    const WideString roaming = vx::RoamingPluginDir(), local = vx::LocalPluginDir();
    const WideString cloud = vx::PluginDataDir(false);
    if (roaming.empty() || local.empty() || cloud.empty()) return 2;

    vx::VXContextParams params;
    params.fontRegistrationMode = 2;
    vx::VXPluginContext context(params);
    context.roamingPluginDir = roaming;
    context.DeriveRoamingDirs();
    context.localPluginDir = local;
    context.DeriveLocalDirs();
    context.DeriveRoamingPDir();

    bool ok = MakeFolders(roaming) && MakeFolders(local) && MakeFolders(cloud);
    vx::CreateRoamingDirs(&context);  // the fourth folder is never set
    ok = ok && vx::EnsureFolder(context.roamingPDir, true);

    for (const WideString& plugin : {roaming, local}) {
        const WideString r = plugin + u"\\r", e = plugin + u"\\e";
        // Each font a family of its own, or Wine would not take it twice.
        ok = ok && Write(r, "Brimlet Sans.otf", vx::test::RenameFontFamily(font)) &&
             Write(r, "BrimletMono", vx::test::RenameFontFamily(font)) &&
             Write(r, "Pinned.otf", vx::test::RenameFontFamily(font)) &&
             Write(r, "keep.ttf", "other font") && Write(r, "Upper.OTF", "kept: capitals") &&
             Write(r, "partial.tmp", "partial") && Write(r + u"\\cache", "inner.otf", font) &&
             Write(e, "Brimlet Sans.otf", "encrypted") && Write(e, "index.bin", "index") &&
             Write(e + u"\\sub", "deep.bin", "kept") && Write(plugin, "settings.json", "{}") &&
             Write(plugin, "log.txt", "log") &&
             Write(plugin + u"\\c", "entitlements.xml", "<e/>") &&
             Write(plugin + u"\\u", "update.bin", "kept") &&
             Write(plugin + u"\\w", "work.bin", "kept") &&
             Write(plugin + u"\\t", "t.bin", "kept") && Write(plugin + u"\\x", "x.bin", "kept");
        for (const char* name : kFontNames)
            ok = vx::RegisterFontFile(&context, vx::JoinUtf8Name(r, name), 2) && ok;
        // A font Windows refuses to delete but lets be moved.
        ok = ok && vx::win::SetFileAttributesW(vx::JoinUtf8Name(r, "Pinned.otf").c_str(),
                                               vx::win::kAttrReadOnly);
    }
    ok = ok && Write(context.roamingPDir, "p.bin", "kept") && Write(cloud, "sync.db", "sync") &&
         Write(cloud, "font.otf", font) && Write(cloud + u"\\nested", "kept.bin", "kept");

    // Neighbours that are not the plugin's.
    ok = ok && Write(Parent(Parent(roaming)), "brimlet.ini", "kept") &&
         Write(Parent(Parent(Parent(cloud))), "notes.txt", "kept") &&
         Write(Parent(cloud), "other-plugin.db", "kept");
    return ok ? 0 : 1;
}
