// Temporary trees, numbered files, and fonts with a family of their own,
// for the tests.
#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace vx::test {

WideString ToWin(const fs::path& host) {
    std::u16string w = host.u16string();
    for (auto& c : w)
        if (c == u'/') c = u'\\';
    // A host path of the emulation: drive C: is the host root.
    if (!w.empty() && w[0] == u'\\') w = u"C:" + w;
    return w;
}

TempTree::TempTree() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000;
    root_ = fs::temp_directory_path() /
            ("vxt" + std::to_string(stamp) + "_" + std::to_string(counter++));
    fs::create_directories(root_);
}

TempTree::~TempTree() {
    std::error_code ec;
    // Read-only files must be writable again before the tree can go.
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
}

WideString TempTree::Win(const std::string& rel) const { return ToWin(Host(rel)); }

void TempTree::Dir(const std::string& rel) const { fs::create_directories(Host(rel)); }

void TempTree::File(const std::string& rel, const std::string& content) const {
    fs::create_directories(Host(rel).parent_path());
    std::ofstream(Host(rel), std::ios::binary) << content;
}

void TempTree::ReadOnly(const std::string& rel) const {
    fs::permissions(Host(rel),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool TempTree::Exists(const std::string& rel) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(Host(rel), ec));
}

std::string TempTree::Read(const std::string& rel) const {
    std::ifstream in(Host(rel), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> TempTree::List(const std::string& rel) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Host(rel))) {
        auto u8 = e.path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void NumberedFiles(const TempTree& t, const char* format, int count) {
    for (int i = count - 1; i >= 0; --i) {
        char name[256];
        std::snprintf(name, sizeof name, format, i);
        t.File(name);
    }
}

std::string Name(std::size_t n, char c) { return std::string(n, c); }

std::string FontBytes() { return std::string("\x00\x01\x00\x00", 4) + "font-data"; }

// A font whose family no other font has: Wine quietly ignores a second copy
// of an installed family, so a copy of DejaVu Sans gets a fresh six-letter
// name in its name table (single-byte and UTF-16BE records). Without the
// DejaVu file the emulation's minimal header serves.
std::string RenameFontFamily(std::string font) {
    static std::atomic<int> n{0};
    const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
    std::string word = "Vx";
    unsigned long long v = static_cast<unsigned long long>(stamp) * 31 + n++;
    for (int i = 0; i < 4; ++i, v /= 26) word += static_cast<char>('a' + v % 26);
    auto replace = [&](const std::string& from, const std::string& to) {
        for (auto at = font.find(from); at != std::string::npos;
             at = font.find(from, at + to.size()))
            font.replace(at, to.size(), to);
    };
    replace("DejaVu", word);
    std::string from16, to16;
    for (char c : std::string("DejaVu")) from16 += std::string(1, '\0') + c;
    for (char c : word) to16 += std::string(1, '\0') + c;
    replace(from16, to16);
    return font;
}

std::string UniqueFont() {
    std::ifstream in(fs::path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"), std::ios::binary);
    if (!in) return FontBytes();
    std::stringstream s;
    s << in.rdbuf();
    return RenameFontFamily(s.str());
}

namespace {
void Keep(void* context, const char* message, std::int32_t level) {
    static_cast<CapturingSink*>(context)->reports.push_back({message, level, context});
}
}  // namespace

CapturingSink::CapturingSink() : previous_(g_failureSink) {
    g_failureSink.report = Keep;
    g_failureSink.context = this;
}

CapturingSink::~CapturingSink() { g_failureSink = previous_; }

std::vector<std::string> CapturingSink::Texts() const {
    std::vector<std::string> out;
    for (const auto& r : reports) out.push_back(r.text);
    return out;
}

}  // namespace vx::test
